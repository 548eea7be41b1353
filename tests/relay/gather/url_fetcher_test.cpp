// The gather fetcher over both transports, against a scripted loopback parent: the flag of
// SetUseUrlMoniker on (libcurl) and off (the socket client).
#include "relay/gather/url_fetcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "foundation/event.h"
#include "http/get_stop_functor.h"
#include "http/header_handler.h"
#include "http/http_client_session.h"
#include "net/started_socket_system.h"
#include "support/scripted_parent.h"
#include "support/python_origin.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

TEST(SocketFetchResult, MapsTheClientsResultsAndStatus) {
    struct Case {
        int clientResult;
        int httpStatus;
        std::int32_t code;
        std::string message;
    };
    const Case cases[] = {
        {0, 200, 0, "http://p/x"},
        {0, 404, 24, "'http://p/x' http failure code 404"},
        {-1, 0, 24, "winsock error -1"},
        {-3, 0, 24, "winsock error -3"},
        {-13, 0, 24, "winsock error -13"},
        {-21, 407, 24, "winsock error -21"},
        {-101, 0, 24, "winsock error -101"},
        {-100, 0, 4, ""},
        {-20, 0, 2, "missing url"},
        {-2, 0, 2, "http://p/x"},
        {-23, 0, 13, "winsock error -23"},
        {-27, 0, 13, "winsock error -27"},
        {-14, 0, 13, "winsock error -14"},
    };
    for (const Case& c : cases) {
        const FetchResult result = SocketFetchResult("http://p/x", c.clientResult, c.httpStatus);
        EXPECT_EQ(result.resultCode, c.code) << c.clientResult;
        EXPECT_EQ(result.message, c.message) << c.clientResult;
        EXPECT_EQ(result.httpStatusKnown, c.clientResult == 0) << c.clientResult;
    }
}

class URLFetcherTest : public ::testing::TestWithParam<bool> {
  protected:
    URLFetcherTest() {
        StartedSocketSystem();
        SetUseUrlMoniker(GetParam());
    }
    ~URLFetcherTest() override {
        SetUseUrlMoniker(true);
        SetUrlMonikerCredentials("", "");
    }

    FetchResult Fetch(const std::string& url, GetStopFunctor& stop) {
        HeaderHandler handler(nullptr, "Veltra KVRGather");
        HTTPClientSession session;
        URLFetcher fetcher(url);
        return fetcher.GetURL(m_destination, handler, session, stop);
    }
    FetchResult Fetch(const std::string& url) { return Fetch(url, m_never); }
    std::string Destination() const { return ReadWholeFile(m_destination.ToString()); }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    FileLocation m_destination{(m_folder / "fetched").c_str()};
    GetStopFunctor m_never;
    ScriptedParent m_parent;
};

TEST_P(URLFetcherTest, A200LandsInTheDestination) {
    m_parent.Serve("/site/__fullsite", "the archive");
    const FetchResult result = Fetch(m_parent.URL("/site/__fullsite"));
    EXPECT_TRUE(result.IsSuccessful()) << result.FullText();
    EXPECT_EQ(result.message, m_parent.URL("/site/__fullsite"));
    EXPECT_EQ(Destination(), "the archive");
}

// The error page never takes the destination's place: a file whose presence counts would otherwise
// hold it.
TEST_P(URLFetcherTest, AnotherStatusIsAnHTTPFailureThatLeavesTheDestinationAsItWas) {
    WriteWholeFile(m_destination.ToString(), "earlier content");
    m_parent.ServeStatus("/site/moved", "HTTP/1.0 304 Not Modified");
    struct Case {
        std::string path;
        int status;
        std::string text;
    };
    const Case cases[] = {
        {"/site/missing", 404, "General transport failure."},
        {"/site/moved", 304, "HTTP 304 Error (Cache prevents delivery of new data)"},
    };
    for (const Case& c : cases) {
        const FetchResult result = Fetch(m_parent.URL(c.path));
        EXPECT_EQ(result.resultCode, 24) << c.path;
        EXPECT_EQ(result.FullText(),
                  c.text + "\r\n'" + m_parent.URL(c.path) + "' http failure code " + std::to_string(c.status));
        EXPECT_TRUE(result.httpStatusKnown);
        EXPECT_EQ(Destination(), "earlier content");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_folder.Path()), {}), 1) << "a temporary file left";
}

// The libcurl path tries a failed transfer three times in all; the socket path once.
TEST_P(URLFetcherTest, ATransportFailureIsCode24AfterItsAttempts) {
    m_parent.Drop("/site/dropped");
    const FetchResult result = Fetch(m_parent.URL("/site/dropped"));
    EXPECT_EQ(result.resultCode, 24) << result.FullText();
    EXPECT_FALSE(result.httpStatusKnown);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(m_parent.AcceptedConnections(), GetParam() ? 3u : 1u);
}

TEST_P(URLFetcherTest, AStopDuringAHungFetchReturnsPromptlyAsInterrupted) {
    m_parent.Hang("/site/__fullsite");
    Event stopEvent;
    EventStopFunctor stop(stopEvent);
    std::thread stopper([&stopEvent] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stopEvent.Set();
    });
    const auto start = std::chrono::steady_clock::now();
    const FetchResult result = Fetch(m_parent.URL("/site/__fullsite"), stop);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_TRUE(result.IsInterrupted()) << result.FullText();
    EXPECT_LT(elapsed, std::chrono::seconds(2));
    EXPECT_FALSE(std::filesystem::exists(m_destination.ToString()));
}

TEST_P(URLFetcherTest, ADestinationThatCannotBeWrittenIsALocalFileFailure) {
    m_parent.Serve("/site/a", "a");
    m_destination = FileLocation((m_folder / "missing/fetched").c_str());
    const FetchResult result = Fetch(m_parent.URL("/site/a"));
    EXPECT_EQ(result.resultCode, 23) << result.FullText();
    EXPECT_EQ(m_parent.Requests().size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, URLFetcherTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "URLMoniker" : "Socket";
                         });

// The URL-moniker credentials answer the server's challenge; the flag is read when a fetcher is made.
TEST(URLFetcher, TheURLMonikerCredentialsAnswerAServersChallenge) {
    TemporaryRegistry registry;
    TemporaryFolder folder;
    PythonOrigin origin;
    const FileLocation destination((folder / "body").c_str());
    GetStopFunctor never;
    const auto fetch = [&] {
        HeaderHandler handler(nullptr, "Veltra KVRGather");
        HTTPClientSession session;
        return FetchURLForGather(ByteString(ConstData(std::string_view(origin.URL("/basic")))), destination, handler,
                                 session, never);
    };
    SetUseUrlMoniker(true);
    EXPECT_EQ(fetch().httpStatus, 401);
    SetUrlMonikerCredentials(PythonOrigin::kUser, PythonOrigin::kPassword);
    const FetchResult result = fetch();
    SetUrlMonikerCredentials("", "");
    EXPECT_TRUE(result.IsSuccessful()) << result.FullText();
    EXPECT_EQ(ReadWholeFile(destination.ToString()), "authorized");
}

}  // namespace
