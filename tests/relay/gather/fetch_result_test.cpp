#include "relay/gather/fetch_result.h"

#include <gtest/gtest.h>

namespace {

FetchResult Result(std::int32_t code, std::int32_t detail = 0) {
    FetchResult result;
    result.resultCode = code;
    result.detailCode = detail;
    return result;
}

TEST(FetchResult, TextsFollowTheCodeAndForPlatformFailuresTheDetailCode) {
    struct Case {
        FetchResult result;
        std::string text;
    };
    const Case cases[] = {
        {Result(0), "Success."},
        {Result(3), "Undefined error condition."},
        {Result(4), "User interupted process."},
        {Result(10), "Server reports that the location does not exist."},
        {Result(23), "Unable to open/write/read local file."},
        {Result(24), "General transport failure."},
        {Result(26), "Socket hung error."},
        {Result(27), "Unknown Error Condition"},
        {Result(-1), "Unknown Error Condition"},
        {Result(11, static_cast<std::int32_t>(0x800C0003)), "Windows reports 'No Session' failure"},
        {Result(12, static_cast<std::int32_t>(0x800C000B)), "Windows reports 'Connection timeout' failure"},
        {Result(12, static_cast<std::int32_t>(0x800C0010)), "Windows reports 'Instantiate' failure"},
        // A detail code outside the table reads as code 13's text, in signed decimal.
        {Result(12, static_cast<std::int32_t>(0x800C0011)), "Windows reports unknown failure (-2146697199)"},
        {Result(13, 5), "Windows reports unknown failure (5)"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.result.Text(), c.text) << c.result.resultCode;
}

TEST(FetchResult, A304ReadsAsTheCacheTextWhateverTheCode) {
    FetchResult result = Result(24);
    result.httpStatusKnown = true;
    result.httpStatus = 304;
    result.message = "'http://p/x' http failure code 304";
    EXPECT_EQ(result.FullText(),
              "HTTP 304 Error (Cache prevents delivery of new data)\r\n'http://p/x' http failure code 304");
    result.httpStatusKnown = false;
    EXPECT_EQ(result.Text(), "General transport failure.");
}

TEST(FetchResult, TheFullTextAddsAMessageOnlyWhenThereIsOne) {
    FetchResult result = Result(2);
    EXPECT_EQ(result.FullText(), "Invalid URL.");
    result.message = "missing url";
    EXPECT_EQ(result.FullText(), "Invalid URL.\r\nmissing url");
    EXPECT_FALSE(result.IsSuccessful());
    EXPECT_TRUE(Result(0).IsSuccessful());
    EXPECT_TRUE(Result(4).IsInterrupted());
}

}  // namespace
