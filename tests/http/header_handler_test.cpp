// What a caller of the main HTTP client adds to its requests and reads from the response head.
#include "http/header_handler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/event.h"
#include "http/get_stop_functor.h"
#include "http/raw_http_exchange.h"
#include "settings/registry_functions.h"
#include "support/temporary_registry.h"

namespace {

constexpr const char* kInternetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class HeaderHandlerTest : public testing::Test {
  protected:
    static std::string RequestHeaders(HeaderHandler& handler) {
        std::string headers;
        handler.GetRequestHeaders(headers);
        return headers;
    }
    static void SetBrowserUserAgent(const char* agent) {
        ASSERT_TRUE(WriteRegistryString(RegistryRoot::CurrentUser, kInternetSettings, "User Agent", agent));
    }

    TemporaryRegistry m_registry;
};

TEST_F(HeaderHandlerTest, TheUserAgentFramesTheClientNameInTheBrowsersText) {
    HeaderHandler handler(nullptr, "Veltra Lumeroft");
    EXPECT_EQ(RequestHeaders(handler), "User-Agent: (Veltra Lumeroft 8.0.627.0)\r\n");

    SetBrowserUserAgent("Mozilla/4.0 (compatible; MSIE 8.0)");
    EXPECT_EQ(RequestHeaders(handler),
              "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Veltra Lumeroft 8.0.627.0)\r\n");

    // A text that does not end in ")" can't frame ours.
    SetBrowserUserAgent("Mozilla/4.0");
    EXPECT_EQ(RequestHeaders(handler), "User-Agent: (Veltra Lumeroft 8.0.627.0)\r\n");
    SetBrowserUserAgent("");
    EXPECT_EQ(RequestHeaders(handler), "User-Agent: (Veltra Lumeroft 8.0.627.0)\r\n");
}

TEST_F(HeaderHandlerTest, ThrottleFieldsPrecedeTheUserAgent) {
    HeaderHandler handler(nullptr, "KVR Relay");
    handler.m_downloadBytesPerSecond = 5000;
    handler.m_throttleGroup = "site";
    handler.m_dynamicThrottlingEnabled = true;
    handler.m_dynamicMaxBytesPerSecond = 9000;
    handler.m_dynamicMinBytesPerSecond = 100;
    handler.m_dynamicPercentage = 40;
    EXPECT_EQ(RequestHeaders(handler),
              "x-kvr-download-bytespersecond:5000\r\n"
              "x-kvr-download-throttlegroup:site\r\n"
              "x-kvr-dynamic-enabled: 1\r\n"
              "x-kvr-dynamic-maxbytespersecond:9000\r\n"
              "x-kvr-dynamic-minbytespersecond:100\r\n"
              "x-kvr-dynamic-percentage:40\r\n"
              "User-Agent: (KVR Relay 8.0.627.0)\r\n");

    // The group goes only with a rate, and never with a line end in it.
    handler.m_downloadBytesPerSecond = 0;
    handler.m_dynamicThrottlingEnabled = false;
    EXPECT_EQ(RequestHeaders(handler), "User-Agent: (KVR Relay 8.0.627.0)\r\n");
    handler.m_downloadBytesPerSecond = 1;
    handler.m_throttleGroup = "site\r\nx-evil: 1";
    EXPECT_THROW(RequestHeaders(handler), UnsafeHeaderText);
}

TEST_F(HeaderHandlerTest, TheResponseHeadGivesLengthStatusAndBackChannel) {
    struct Case {
        const char* head;
        bool lengthUnknown;
        std::uint64_t length;
        int status;
        bool backChannel;
    };
    const Case cases[] = {
        {"http/1.1 200 ok\r\ncontent-length: 1234\r\n", false, 1234, 200, false},
        {"http/1.0 404 not found\ncontent-length:0\n", true, 0, 404, false},
        {"http/1.0 200 ok\r\n", true, 0, 200, false},
        {"http/1.0 200 ok\r\ncontent-length: 12x\r\n", true, 0, 200, false},
        {"http/1.0  206 partial\r\ncontent-length: 1 2\r\nx-kvr-sendbackchannel: 1\r\n", false, 12, 206,
         true},
        // Field names count only at the start of a line.
        {"http/1.0 200 ok\r\nx-note: content-length: 9 x-kvr-sendbackchannel:\r\n", true, 0, 200, false},
        {"garbage\r\n", true, 0, 0, false},
    };
    for (const Case& c : cases) {
        std::vector<std::uint64_t> told;
        HeaderHandler handler([&told](std::uint64_t length) { told.push_back(length); }, "x");
        handler.ReceiveResponseHeaders(c.head);
        EXPECT_EQ(handler.IsContentLengthUnknown(), c.lengthUnknown) << c.head;
        EXPECT_EQ(handler.GetContentLength(), c.length) << c.head;
        EXPECT_EQ(handler.GetStatusCode(), c.status) << c.head;
        EXPECT_EQ(handler.HasSendBackChannel(), c.backChannel) << c.head;
        EXPECT_EQ(told, c.lengthUnknown ? std::vector<std::uint64_t>{} : std::vector<std::uint64_t>{c.length})
            << c.head;
    }
}

TEST_F(HeaderHandlerTest, TheReplacingHandlerSendsItsTextAndCapturesTheWantedField) {
    ReplaceRequestHeaderHandler defaults("", "x-veltra-result:");
    EXPECT_EQ(RequestHeaders(defaults), "User-Agent: Veltra Lumeroft\r\n");
    ReplaceRequestHeaderHandler replaced("X-One: 1\r\nX-Two: 2\r\n", "x-veltra-result:");
    EXPECT_EQ(RequestHeaders(replaced), "X-One: 1\r\nX-Two: 2\r\n");

    defaults.ReceiveResponseHeaders(
        "http/1.0 200 ok\r\nx-other: x-veltra-result: no\r\nx-veltra-result: \t ok 17\r\n"
        "date: tue, 01 jan 2030 00:00:00 gmt\r\ncontent-length: 3\r\n");
    EXPECT_EQ(defaults.GetWantedHeaderValue(), "ok 17");
    EXPECT_EQ(defaults.GetDateValue(), "tue, 01 jan 2030 00:00:00 gmt");
    EXPECT_EQ(defaults.GetContentLength(), 3u);
    EXPECT_EQ(defaults.GetStatusCode(), 200);

    replaced.ReceiveResponseHeaders("http/1.0 200 ok\r\n");
    EXPECT_EQ(replaced.GetWantedHeaderValue(), "");
    EXPECT_EQ(replaced.GetDateValue(), "");
}

TEST(GetStopFunctorTest, TheEventFunctorStopsOnceItsEventIsSet) {
    GetStopFunctor never;
    EXPECT_FALSE(never.ShouldStop());
    EXPECT_FALSE(never.ShouldStopWaiting());
    EXPECT_FALSE(never.PumpsMessages());

    Event event;
    EventStopFunctor functor(event);
    EXPECT_FALSE(functor.ShouldStopWaiting());
    event.Set();
    EXPECT_TRUE(functor.ShouldStop());
    EXPECT_TRUE(functor.ShouldStopWaiting());
    EXPECT_TRUE(functor.PumpsMessages());
}

}  // namespace
