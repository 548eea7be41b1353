#include "relay/download/download_request_posting.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "net/started_socket_system.h"
#include "relay/download/download_test_support.h"
#include "relay/download/versioned_object_list.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

namespace {

using Reply = ScriptedHTTPServer::Reply;

DownloadRequestTarget Target(std::uint32_t index, std::size_t urlLength = 10) {
    return DownloadRequestTarget::Indexed(12, index, "http://site/" + std::string(urlLength, 'u'));
}

std::vector<DownloadRequestTarget> Targets(std::uint32_t count, std::size_t urlLength = 10) {
    std::vector<DownloadRequestTarget> targets;
    for (std::uint32_t index = 1; index <= count; ++index) targets.push_back(Target(index, urlLength));
    return targets;
}

// The body of a request as the scripted server received it.
std::string BodyOf(const std::string& request) { return request.substr(request.find("\r\n\r\n") + 4); }

// The parent's answer to a posted body: each target Available, in the order posted.
std::string AnswerAllAvailable(const std::string& request) {
    std::string reply = "0\n";
    std::istringstream lines(BodyOf(request));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        const DownloadRequestTarget target = ParseDownloadRequestTarget(line);
        reply += FormatDownloadResponse({.hash = std::nullopt, .actionID = target.GetActionID(),
                                         .index = target.GetIndex(), .status = DownloadResponseStatus::Available}) +
                 "\n";
    }
    return reply;
}

TEST(UpstreamDownloadRequestURL, AppendsThePlugInNameToTheParentURL) {
    EXPECT_EQ(UpstreamDownloadRequestURL("http://parent:52311"), "http://parent:52311/DownloadRequest");
    EXPECT_EQ(UpstreamDownloadRequestURL("http://parent:52311/"), "http://parent:52311/DownloadRequest");
    for (const char* bad : {"", "parent", "http://"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(UpstreamDownloadRequestURL(bad), NoParentRelayURL);
    }
}

TEST(BatchDownloadRequests, CutsAtTheTargetCountAndTheBodySize) {
    const auto sizes = [](const std::vector<std::vector<DownloadRequestTarget>>& batches) {
        std::vector<std::size_t> counts;
        for (const auto& batch : batches) counts.push_back(batch.size());
        return counts;
    };
    EXPECT_EQ(sizes(BatchDownloadRequests({})), std::vector<std::size_t>{});
    EXPECT_EQ(sizes(BatchDownloadRequests(Targets(2500))), (std::vector<std::size_t>{1000, 1000, 500}));
    // Lines of 1.5 MiB: two fit in 4 MiB, a third does not.
    EXPECT_EQ(sizes(BatchDownloadRequests(Targets(5, 1'500'000))), (std::vector<std::size_t>{2, 2, 1}));
    // A target longer than a whole batch goes alone.
    std::vector<DownloadRequestTarget> oversized = {Target(1), Target(2, 5'000'000), Target(3)};
    EXPECT_EQ(sizes(BatchDownloadRequests(oversized)), (std::vector<std::size_t>{1, 1, 1}));
    for (const auto& batch : BatchDownloadRequests(Targets(3000, 1'000))) {
        std::string body;
        StringReceiver text(body);
        WriteDownloadRequestTargetList(batch, text);
        EXPECT_LE(body.size(), kMostBytesPerPost);
    }
}

// Test labels: PostDownloadRequestsTest tsan
class PostDownloadRequestsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { StartedSocketSystem(); }

    std::vector<DownloadResponse> Post(const ScriptedHTTPServer& server, const std::vector<DownloadRequestTarget>& targets) {
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/DownloadRequest";
        const ParentRelayConfiguration parent;
        GetStopFunctor neverStop;
        return PostDownloadRequests(targets, url, parent, kDownloadRequestTimeLimit, neverStop);
    }

    TemporaryRegistry m_registry;
};

TEST_F(PostDownloadRequestsTest, PostsTheTargetsAndReadsTheParentsResponses) {
    ScriptedHTTPServer parent([](const std::string& request) { return Reply{MakeHTTPReply(AnswerAllAvailable(request))}; });
    const std::vector<DownloadResponse> responses = Post(parent, Targets(3));
    ASSERT_EQ(responses.size(), 3u);
    EXPECT_EQ(responses[2].index, 3u);
    const std::string request = parent.Exchanges().at(0).request;
    EXPECT_TRUE(request.starts_with("POST /DownloadRequest HTTP/1.")) << request;
    std::string expectedBody;
    StringReceiver text(expectedBody);
    WriteDownloadRequestTargetList(Targets(3), text);
    EXPECT_EQ(BodyOf(request), expectedBody);
}

TEST_F(PostDownloadRequestsTest, AnswersEveryBatchInOrderUpToTheFirstThatFails) {
    ScriptedHTTPServer parent([](const std::string& request) { return Reply{MakeHTTPReply(AnswerAllAvailable(request))}; });
    std::vector<DownloadResponse> responses = Post(parent, Targets(2500));
    ASSERT_EQ(responses.size(), 2500u);
    EXPECT_EQ(responses[1000].index, 1001u);
    EXPECT_EQ(parent.Exchanges().size(), 3u);

    const struct {
        const char* name;
        std::string reply;
    } failures[] = {
        {"a refusal", MakeHTTPReply("", "", "HTTP/1.0 500 Internal Server Error")},
        {"a reply that does not read", MakeHTTPReply("0\nnot a response\n")},
        {"a lost connection", ""},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.name);
        ScriptedHTTPServer failing([&, posted = 0](const std::string& request) mutable {
            return Reply{++posted == 2 ? failure.reply : MakeHTTPReply(AnswerAllAvailable(request))};
        });
        responses = Post(failing, Targets(2500));
        EXPECT_EQ(responses.size(), 1000u);
        EXPECT_EQ(failing.Exchanges().size(), 2u);
    }
}

TEST_F(PostDownloadRequestsTest, AParentThatCannotBeReachedAnswersNothing) {
    const ParentRelayConfiguration parent;
    GetStopFunctor neverStop;
    const std::string url = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/DownloadRequest";
    EXPECT_TRUE(PostDownloadRequests(Targets(3), url, parent, kDownloadRequestTimeLimit, neverStop).empty());
}

}  // namespace
