#include "relay/post/upload_result.h"

#include <gtest/gtest.h>

#include <string>

TEST(UploadResult, IsWrittenAsHeaderLineAndBody) {
    const UploadResult result{.held = 10, .throttle = 25600, .chunkSize = 65536};
    EXPECT_EQ(FormatUploadResultHeaderLine(result), "x-kvr-upload-result: Success=10,25600,65536\r\n");
    EXPECT_EQ(FormatUploadResultBody(result), "Success: 10,25600,65536\r\n");
    EXPECT_EQ(std::get<UploadResult>(ParseUploadResult("Success=10,25600,65536")), result);
}

TEST(UploadResult, ReadsTheThreeNumbersOrSaysWhatIsWrong) {
    const UploadResult big{.held = 18446744073709551615ull, .throttle = 0, .chunkSize = 1};
    EXPECT_EQ(std::get<UploadResult>(ParseUploadResult(" Success=18446744073709551615,0,1\t")), big);
    EXPECT_EQ(std::get<UploadResult>(ParseUploadResult("success=18446744073709551615,0,1")), big);
    const struct {
        std::string value;
        UploadResultDefect defect;
    } cases[] = {
        {"", UploadResultDefect::NotSuccess},
        {"Success:1,2,3", UploadResultDefect::NotSuccess},
        {"Error: Hash mismatch", UploadResultDefect::NotSuccess},
        {"Success=1", UploadResultDefect::NoFirstComma},
        {"Success=1,2", UploadResultDefect::NoSecondComma},
        {"Success=1,2,3,4", UploadResultDefect::NotANumber},
        {"Success=,2,3", UploadResultDefect::NotANumber},
        {"Success=-1,2,3", UploadResultDefect::NotANumber},
        {"Success=18446744073709551616,0,0", UploadResultDefect::NotANumber},
    };
    for (const auto& each : cases) {
        const auto parsed = ParseUploadResult(each.value);
        ASSERT_TRUE(std::holds_alternative<UploadResultDefect>(parsed)) << each.value;
        EXPECT_EQ(std::get<UploadResultDefect>(parsed), each.defect) << each.value;
    }
}
