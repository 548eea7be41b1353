#include "relay/gather/directory_header_handler.h"

#include <gtest/gtest.h>

#include "support/temporary_registry.h"

namespace {

class DirectoryHeaderHandlerTest : public ::testing::Test {
  protected:
    TemporaryRegistry m_registry;  // no browser user agent
};

TEST_F(DirectoryHeaderHandlerTest, RequestLinesFollowTheBaseHandlersInTheirOrder) {
    struct Case {
        std::string lastServerDate;
        std::int32_t clientSiteVersion;
        bool clientValid;
        std::string extraLines;
    };
    const Case cases[] = {
        {"<daruravidumirror>", 0, true,
         "x_veltra_client_site_version: 0\r\nx_veltra_last_server_date: <daruravidumirror>\r\n"
         "x_veltra_client_valid: true\r\n"},
        {"", 17, false, "x_veltra_client_site_version: 17\r\n"},
        {"", -1, false, ""},
    };
    for (const Case& c : cases) {
        DirectoryHeaderHandler handler(c.lastServerDate, c.clientSiteVersion, c.clientValid);
        std::string headers;
        handler.GetRequestHeaders(headers);
        EXPECT_EQ(headers, "User-Agent: (Veltra KVRGather 8.0.627.0)\r\n"
                           "x_veltra_directory: signed\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n" +
                               c.extraLines);
    }
}

TEST_F(DirectoryHeaderHandlerTest, ReplyFieldsCountOnlyAtLineStarts) {
    DirectoryHeaderHandler handler("", 0, true);
    handler.ReceiveResponseHeaders(
        "http/1.1 200 ok\r\n"
        "x-veltra-directory-server-date: Mon, 04 Mar 2024 10:00:00 +0000\r\n"
        "x-kvr-note: x-kvrgather-fullsite-url: http://wrong/\r\n"
        "X-KVRGather-FullSite-URL: http://parent/vtmirror/vtsites/daruravidumirror_3_9/__fullsite \r\n"
        "x-kvrgather-fullsite-url: http://second/\r\n"
        "x-kvrgather-fullsite-size: 123abc\r\n"
        "x-kvrgather-single-fullsite-size: abc\r\n"
        "x-kvrgather-diffsite-size:\t99999999999\r\n"
        "x-veltra-directory-server-site-version: 4294967296\r\n"
        "x-veltra-directory-server-date: Tue, 05 Mar 2024 10:00:00 +0000\n"
        "content-length: 7\r\n");
    EXPECT_EQ(handler.GetDirectoryServerDate(), "Tue, 05 Mar 2024 10:00:00 +0000");
    EXPECT_EQ(handler.GetFullSiteURL("http://parent/"), "http://parent/vtmirror/vtsites/daruravidumirror_3_9/__fullsite");
    EXPECT_EQ(handler.GetFullSiteSize(), 123u);
    EXPECT_EQ(handler.GetSingleFullSiteSize(), 0u);
    EXPECT_EQ(handler.GetDiffSiteSize(), 99999999999u);
    EXPECT_EQ(handler.GetDirectoryServerSiteVersion(), 0u) << "beyond 32 bits";
    EXPECT_EQ(handler.GetAllDiffsURL("http://parent/"), "");
    EXPECT_EQ(handler.GetContentLength(), 7u);
    EXPECT_EQ(handler.GetStatusCode(), 200);
}

TEST_F(DirectoryHeaderHandlerTest, EachURLIsRebuiltOnTheRequestsSchemeHostAndPort) {
    DirectoryHeaderHandler handler("", 0, true);
    handler.ReceiveResponseHeaders(
        "http/1.1 200 ok\r\n"
        "x-kvr-http-local-addr: http://internal-name:80/vtmirror/vtsites/gathercache/\r\n"
        "x-kvrgather-mdirlist-url: https://internal-name/vtmirror/vtsites/manydirlists_3/__mdirlistc_ab?x=1\r\n"
        "x-kvrgather-alldiffs-url: vtsites/__alldiffs_ab\r\n"
        "x-kvrgather-single-fullsite-url: http://internal-name:52311/vtmirror/vtsites/manymirror_3_2_7/__fullsite\r\n"
        "x-kvrgather-diffsite-url: http://internal-name\r\n");
    const std::string request = "http://127.0.0.1:8052/cgi-bin/vtdaruravidu/KVRGatherMirror.exe?url=x&Time=5";
    EXPECT_EQ(handler.GetLocalAddress(request), "http://127.0.0.1:8052/vtmirror/vtsites/gathercache/");
    EXPECT_EQ(handler.GetMDirListURL(request), "http://127.0.0.1:8052/vtmirror/vtsites/manydirlists_3/__mdirlistc_ab");
    EXPECT_EQ(handler.GetAllDiffsURL(request), "vtsites/__alldiffs_ab") << "no absolute URL: as given";
    EXPECT_EQ(handler.GetSingleFullSiteURL("https://[::1]/gather"), "https://[::1]/vtmirror/vtsites/manymirror_3_2_7/__fullsite");
    EXPECT_EQ(handler.GetDiffSiteURL(request), "http://127.0.0.1:8052/");
    EXPECT_EQ(handler.GetFullSiteURL(request), "");
    EXPECT_EQ(handler.GetLocalAddress("not a url"), "http://internal-name:80/vtmirror/vtsites/gathercache/");
}

}  // namespace
