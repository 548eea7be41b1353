#include "relay/download/relay_downloader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "net/started_socket_system.h"
#include "relay/download/download_manager_fixture.h"
#include "support/scripted_http_server.h"

using namespace std::chrono_literals;

namespace {

using Reply = ScriptedHTTPServer::Reply;

const std::string kContent = "the file's bytes";

std::string TargetOf(const std::string& request) {
    const std::size_t begin = request.find(' ') + 1;
    return request.substr(begin, request.find(' ', begin) - begin);
}

// A server that answers the paths it was given, and 404 to any other.
class PathServer {
  public:
    explicit PathServer(std::map<std::string, Reply> replies)
        : m_server([replies = std::move(replies)](const std::string& request) {
              const auto found = replies.find(TargetOf(request));
              return found != replies.end() ? found->second
                                            : Reply{MakeHTTPReply("", "", "HTTP/1.0 404 Not Found")};
          }) {}

    std::string URL(const std::string& path = "") const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) + path;
    }
    std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const auto& exchange : m_server.Exchanges()) targets.push_back(TargetOf(exchange.request));
        return targets;
    }

  private:
    ScriptedHTTPServer m_server;
};

// Test labels: RelayDownloaderTest tsan
// The download manager of the fixture with the relay downloader in the place of the fixture's.
class RelayDownloaderTest : public DownloadManagerFixture {
  protected:
    static void SetUpTestSuite() {
        DownloadManagerFixture::SetUpTestSuite();
        StartedSocketSystem();
    }

    RelayDownloaderTest() { Configure({}); }
    // The manager joins the downloader's workers before the downloader goes.
    ~RelayDownloaderTest() override { m_manager.reset(); }

    // The relay's settings, its parent the test's parent server, with the settings given after.
    void Configure(std::vector<std::pair<std::string, std::string>> settings) {
        settings.insert(settings.begin(), {"__Relay_Control_Server1", m_parent.URL()});
        WriteSettings(settings);
        m_relayDownloader = std::make_unique<RelayDownloader>(m_settings, Manager(), m_settings, m_stop);
        Manager().SetCollaborators({
            .upstreamRequester = m_upstream,
            .downloader = *m_relayDownloader,
            .notifier = m_notifier,
            .plugins = *m_plugins,
            .requestFiles = *m_requestFiles,
        });
    }

    // Adds the target and works until its state is no longer QUEUED or DOWNLOADING; the state.
    std::string Download(const DownloadRequestTarget& target) {
        Manager().AddDownloads({target}, false);
        WorkUntil([&] {
            const std::string state = StateOf(target);
            return state != "none" && state != "QUEUED" && state != "DOWNLOADING";
        });
        return StateOf(target);
    }
    std::string ErrorOf(const DownloadRequestTarget& target) {
        const std::optional<DownloadStateRecord> row = m_state->GetState(target);
        return row && row->error ? row->error->message : "none";
    }
    std::string Cached(const std::string& content) {
        const std::string file = Downloads("sha1/" + Sha1Of(content).ToHex());
        return std::filesystem::exists(file) ? ReadWholeFile(file) : "nothing";
    }

    const DigestRecord m_sha1 = Sha1Of(kContent);
    const DownloadRequestTarget m_dynamic =
        DownloadRequestTarget::Dynamic(7, m_sha1, kContent.size(), "http://127.0.0.1:1/own.bin");
    PathServer m_parent{{{"/vtmirror/downloads/sha1/" + m_sha1.ToHex(), Reply{MakeHTTPReply(kContent)}},
                         {"/vtmirror/downloads/7/1", Reply{MakeHTTPReply(kContent)}}}};
    std::unique_ptr<RelayDownloader> m_relayDownloader;
};

TEST_F(RelayDownloaderTest, FetchesATargetFromTheParent) {
    EXPECT_EQ(Download(m_dynamic), "COMPLETED");
    EXPECT_EQ(Cached(kContent), kContent);
    EXPECT_EQ(m_parent.Targets(), std::vector<std::string>{"/vtmirror/downloads/sha1/" + m_sha1.ToHex()});
}

// The parent has not got it: the target's own URL is next; when that fails too, its failure is the
// one kept.
TEST_F(RelayDownloaderTest, FallsBackFromTheParentToTheOwnURL) {
    PathServer site({{"/own.bin", Reply{MakeHTTPReply(kContent)}},
                     {"/broken.bin", Reply{MakeHTTPReply("", "", "HTTP/1.0 500 Internal Server Error")}}});
    const DownloadRequestTarget fromSite = DownloadRequestTarget::Indexed(8, 1, site.URL("/own.bin"));
    EXPECT_EQ(Download(fromSite), "COMPLETED");
    EXPECT_EQ(m_parent.Targets(), std::vector<std::string>{"/vtmirror/downloads/8/1"});
    EXPECT_EQ(Cached(kContent), kContent);

    const DownloadRequestTarget broken = DownloadRequestTarget::Indexed(8, 2, site.URL("/broken.bin"));
    EXPECT_EQ(Download(broken), "FAILED");
    EXPECT_EQ(ErrorOf(broken), "Unexpected HTTP response: 500 Internal Server Error");
    EXPECT_EQ(site.Targets(), (std::vector<std::string>{"/own.bin", "/broken.bin"}));
}

TEST_F(RelayDownloaderTest, ATargetWithoutSourcesFailsAsUnknown) {
    Configure({{"__Relay_Control_Server1", ""}, {"_KVRGather_Download_CheckInternetFlag", "0"}});
    EXPECT_EQ(Download(m_dynamic), "FAILED");
    EXPECT_EQ(ErrorOf(m_dynamic), "Unknown failure");
}

// A file of the hash index is copied on the work pass itself: no worker, no request.
TEST_F(RelayDownloaderTest, ATargetInTheHashIndexIsCopiedWithoutARequest) {
    WriteAgedFile(m_folder / "held/a.bin", kContent, 0);
    WriteAgedFile(m_folder / "sha1index.xml",
                  "<index><file sha1=\"" + m_sha1.ToHex() + "\">" + m_folder / "held/a.bin" + "</file></index>", 0);
    WriteAgedFile(m_folder / "urlindex.xml",
                  "<index><file url=\"http://site/b.bin\">" + m_folder / "held/a.bin" + "</file></index>", 0);
    Configure({{"_KVRGather_Download_HasSha1Index", "1"},
               {"_KVRGather_Download_Sha1IndexPath", m_folder / "sha1index.xml"},
               {"_KVRGather_Download_HasUrlIndex", "1"},
               {"_KVRGather_Download_UrlIndexPath", m_folder / "urlindex.xml"}});
    Manager().AddDownloads({m_dynamic, DownloadRequestTarget::Indexed(9, 1, "http://site/b.bin")}, false);
    Manager().DoWork();
    EXPECT_EQ(StateOf(m_dynamic), "COMPLETED");
    EXPECT_EQ(StateOf(DownloadRequestTarget::Indexed(9, 1, "http://site/b.bin")), "COMPLETED");
    EXPECT_TRUE(m_parent.Targets().empty());
    EXPECT_EQ(Cached(kContent), kContent);
}

// The SHA-1 is not in the index yet: the worker has the indexer write it again and copies the file
// the new index names, without a request.
TEST_F(RelayDownloaderTest, AMissInTheHashIndexHasTheIndexerWriteItAgain) {
    WriteAgedFile(m_folder / "held/a.bin", kContent, 0);
    WriteAgedFile(m_folder / "sha1index.xml", "<index/>", 3'600'000'000);
    Configure({{"_KVRGather_Download_HasSha1Index", "1"},
               {"_KVRGather_Download_Sha1IndexPath", m_folder / "sha1index.xml"},
               {"_KVRGather_Indexer_TriggerPath", m_folder / "regenerate"}});
    std::thread indexer([this] {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!std::filesystem::exists(m_folder / "regenerate") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        WriteAgedFile(m_folder / "sha1index.xml",
                      "<index><file sha1=\"" + m_sha1.ToHex() + "\">" + m_folder / "held/a.bin" + "</file></index>", 0);
        std::filesystem::remove(m_folder / "regenerate");
    });
    EXPECT_EQ(Download(m_dynamic), "COMPLETED");
    indexer.join();
    EXPECT_TRUE(m_parent.Targets().empty());
    EXPECT_EQ(Cached(kContent), kContent);
}

// Stopped during its last source, the download is suspended, not failed: it costs no retry.
TEST_F(RelayDownloaderTest, AStopDuringTheLastSourceSuspendsTheDownload) {
    std::atomic<bool> answered{false};
    ScriptedHTTPServer silentParent([&](const std::string&) {
        for (int wait = 0; wait < 1000 && !answered; ++wait) std::this_thread::sleep_for(10ms);
        return Reply{MakeHTTPReply(kContent)};
    });
    Configure({{"__Relay_Control_Server1", "http://127.0.0.1:" + std::to_string(silentParent.Port())},
               {"_KVRGather_Download_CheckInternetFlag", "0"}});
    Manager().AddDownloads({m_dynamic}, false);
    ASSERT_TRUE(WorkUntil([&] { return StateOf(m_dynamic) == "DOWNLOADING"; }));
    std::this_thread::sleep_for(200ms);
    const auto stopped = std::chrono::steady_clock::now();
    Manager().AbortAll();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 3s);
    answered = true;
    EXPECT_EQ(StateOf(m_dynamic), "SUSPENDED");
}

}  // namespace
