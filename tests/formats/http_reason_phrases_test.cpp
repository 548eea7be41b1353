#include "formats/http_reason_phrases.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(HTTPReasonPhrases, Table) {
    struct Case {
        int code;
        const char* phrase;
    };
    for (const Case& test : {
             Case{200, "OK"},
             Case{206, "Partial Content"},
             Case{302, "Object Moved"},
             Case{400, "Bad Request"},
             Case{401, "Unauthorized"},
             Case{403, "Forbidden"},
             Case{404, "Not Found"},
             Case{405, "Method Not Allowed"},
             Case{413, "Request Entity Too Large"},
             Case{414, "Request-URI Too Long"},
             Case{416, "Requested Range Not Satisfiable"},
             Case{500, "Internal Server Error"},
             Case{501, "Not Implemented"},
             Case{503, "Service Unavailable"},
             Case{304, ""},
             Case{0, ""},
             Case{-1, ""},
             Case{999, ""},
         }) {
        EXPECT_EQ(HTTPReasonPhrase(test.code).View(), test.phrase) << test.code;
    }
}

TEST(UnexpectedHTTPResponse, KeepsCodeAndAtMost128BytesOfTheReason) {
    const std::string longReason(200, 'r');
    UnexpectedHTTPResponse error(404, ConstData(longReason));
    EXPECT_EQ(error.Code(), 404);
    EXPECT_EQ(std::string(error.Reason()), longReason.substr(0, 128));
    EXPECT_EQ(std::string(error.what()), "Unexpected HTTP response: 404 " + longReason);

    const std::string exact(128, 'x');
    EXPECT_EQ(std::strlen(UnexpectedHTTPResponse(500, ConstData(exact)).Reason()), 128u);
    EXPECT_STREQ(UnexpectedHTTPResponse(302, ConstData()).what(), "Unexpected HTTP response: 302 ");
    EXPECT_STREQ(UnexpectedHTTPResponse(302, ConstData()).Reason(), "");
}
