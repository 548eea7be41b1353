// The fetches of a site gather against a scripted parent, over both transports.
#include "relay/gather/gather_fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/character_classes.h"
#include "foundation/clocks.h"
#include "foundation/event.h"
#include "net/started_socket_system.h"
#include "relay/gather/directory_header_handler.h"
#include "support/scripted_parent.h"
#include "relay/gather/url_fetcher.h"
#include "relay/service/gather_options_manager.h"
#include "support/client_settings.h"
#include "support/exception_text.h"
#include "support/kvrreg_runner.h"
#include "support/squid_proxy.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

class GatherFetchTest : public ::testing::TestWithParam<bool> {
  protected:
    GatherFetchTest() {
        StartedSocketSystem();
        SetUseUrlMoniker(GetParam());
    }
    ~GatherFetchTest() override { SetUseUrlMoniker(true); }

    void Get(const std::string& url, const std::string& localAddress = "") {
        GatherGetURL(url, m_destination, localAddress, m_options, m_stop);
    }
    // The request as the parent received it, names lower-cased.
    std::string LastRequest() const {
        std::string request = m_parent.Requests().back();
        for (char& c : request) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<unsigned char>(c)]);
        return request;
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    GatherOptionsManager m_options;
    Event m_stop;
    FileLocation m_destination{(m_folder / "fetched").c_str()};
    ScriptedParent m_parent;
};

TEST_P(GatherFetchTest, AFailureNamesTheURLAndTheResultsFullText) {
    const std::string url = m_parent.URL("/site/__alldiffs");
    EXPECT_EQ(ErrorOf([&] { Get(url); }),
              "GetURL failure on " + url + ": General transport failure.\r\n'" + url + "' http failure code 404");
}

TEST_P(GatherFetchTest, AStopDuringAHungFetchIsGatherCancelled) {
    m_parent.Hang("/site/__fullsite");
    std::thread stopper([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        m_stop.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(Get(m_parent.URL("/site/__fullsite")), GatherCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    stopper.join();
}

// The libcurl transport does not pass the dynamic throttle fields on.
TEST_P(GatherFetchTest, TheThrottleSettingsGoOutAsTheHandlersPacingLines) {
    ImportWithKvrreg(NamedSetting("KVRGather", "Download", "LimitBytesPerSecond", "5000") +
                     NamedSetting("KVRGather", "Download", "ThrottleGroup", "sites") +
                     NamedSetting("KVRGather", "Download", "DynamicThrottleEnabled", "1") +
                     NamedSetting("KVRGather", "Download", "DynamicThrottleMaxBytesPerSecond", "9000") +
                     NamedSetting("KVRGather", "Download", "DynamicThrottleMinBytesPerSecond", "100") +
                     NamedSetting("KVRGather", "Download", "DynamicThrottlePercentage", "40"));
    m_parent.Serve("/site/a.txt", "a");
    Get(m_parent.URL("/site/a.txt"));
    const std::string request = LastRequest();
    EXPECT_NE(request.find("x-kvr-download-bytespersecond:"), std::string::npos) << request;
    EXPECT_NE(request.find("5000\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("x-kvr-download-throttlegroup:"), std::string::npos) << request;
    EXPECT_NE(request.find("(veltra kvrgather 8.0.627.0)"), std::string::npos) << request;
    const bool dynamicSent = request.find("x-kvr-dynamic-enabled: 1\r\nx-kvr-dynamic-maxbytespersecond:9000\r\n"
                                          "x-kvr-dynamic-minbytespersecond:100\r\nx-kvr-dynamic-percentage:40\r\n") !=
                             std::string::npos;
    EXPECT_EQ(dynamicSent, !GetParam()) << request;
}

TEST_P(GatherFetchTest, ALocalAddressTakesTheFileByItsLastName) {
    m_parent.Serve("/vtmirror/vtsites/daruravidumirror_1_5/__fullsite", "served here");
    Get("http://root.example.test/sites/updates/__fullsite", m_parent.URL("/vtmirror/vtsites/daruravidumirror_1_5/"));
    EXPECT_EQ(ReadWholeFile(m_destination.ToString()), "served here");
}

TEST_P(GatherFetchTest, TheDirectoryRequestCarriesTheTime) {
    m_parent.Serve("/cgi-bin/gather", "list");
    DirectoryHeaderHandler handler(DirectoryHeaderHandler::kMirrorServerDate, 0, true);
    const std::int64_t before = NowInSeconds();
    const std::string sent = FetchSiteDirectory(m_parent.URL("/cgi-bin/gather?url=x"), m_destination, handler,
                                                m_options, m_stop);
    const std::string prefix = m_parent.URL("/cgi-bin/gather?url=x&Time=");
    ASSERT_EQ(sent.substr(0, prefix.size()), prefix);
    const std::int64_t time = std::stoll(sent.substr(prefix.size()));
    EXPECT_GE(time, before);
    EXPECT_LE(time, NowInSeconds());
    const std::string line = m_parent.RequestLines().back();
    EXPECT_EQ(line.substr(0, line.rfind(' ')), "GET " + sent.substr(m_parent.Base().size()));
}

// The parent link's proxy settings are read for each fetch; "localhost", as 127.0.0.1 never goes
// through a proxy.
TEST_P(GatherFetchTest, FetchesGoThroughTheParentLinksProxy) {
    SquidProxy& proxy = SharedSquidProxy(SquidProxy::Scheme::Basic);
    ImportWithKvrreg(ClientRegisterSetting("ProxyServer", "127.0.0.1") +
                     ClientRegisterSetting("ProxyPort", std::to_string(proxy.Port())) +
                     ClientRegisterSetting("ProxyUser", SquidProxy::kUser) +
                     ClientRegisterSetting("ProxyPass", SquidProxy::kPassword));
    m_parent.Serve("/site/through-the-proxy", "proxied");
    const std::string url = "http://localhost:" + m_parent.Base().substr(m_parent.Base().rfind(':') + 1) +
                            "/site/through-the-proxy";
    Get(url);
    EXPECT_EQ(ReadWholeFile(m_destination.ToString()), "proxied");
    EXPECT_NE(m_parent.Requests().back().find("\r\nVia: "), std::string::npos) << "forwarded by Squid";
}

INSTANTIATE_TEST_SUITE_P(BothTransports, GatherFetchTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "URLMoniker" : "Socket";
                         });

}  // namespace
