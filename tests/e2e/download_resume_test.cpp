// A child relay's downloads from a parent that misbehaves as the test scripts it, and from one that
// holds what the child already has: bodies cut short are resumed from where they stopped, also after
// the child was killed mid-transfer; a file already whole in the child's active downloads finishes
// without its bytes being sent again; wrong bytes never reach the cache.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/download_relays.h"
#include "e2e/relay_process.h"
#include "e2e/download_state_shell.h"
#include "support/eventually.h"
#include "support/scripted_http_server.h"
#include "support/temporary_registry.h"

using namespace std::chrono_literals;

namespace {

using Reply = ScriptedHTTPServer::Reply;

constexpr const char* kList = "/vtmirror/downloads/12/dl_12";
constexpr const char* kFirst = "/vtmirror/downloads/12/1";

std::string TargetOf(const std::string& request) {
    const std::size_t begin = request.find(' ') + 1;
    return request.substr(begin, request.find(' ', begin) - begin);
}

// The value of the request's "Range" field; "none" without one.
std::string RangeOf(const std::string& request) {
    for (const std::string name : {"\r\nRange: ", "\r\nrange: "}) {
        const std::size_t at = request.find(name);
        if (at != std::string::npos) {
            const std::size_t begin = at + name.size();
            return request.substr(begin, request.find("\r\n", begin) - begin);
        }
    }
    return "none";
}

std::string RangeReply(const std::string& bytes, std::size_t from) {
    return MakeHTTPReply(bytes.substr(from),
                         "Content-Range: bytes " + std::to_string(from) + "-" + std::to_string(bytes.size() - 1) + "/" +
                             std::to_string(bytes.size()) + "\r\n",
                         "HTTP/1.0 206 Partial Content");
}

const Reply kRefusedRange{MakeHTTPReply("", "", "HTTP/1.0 416 Requested Range Not Satisfiable")};

// A parent that serves action 12's list of one file and answers the file's GETs as the test says
// (the GET's request and how many came before it).
class ScriptedParent {
  public:
    using FileReplies = std::function<Reply(const std::string& request, int earlier)>;

    ScriptedParent(const DownloadFile& file, FileReplies replies)
        : m_server([this, list = DownloadList(12, {file}), replies](const std::string& request) {
              const std::string target = TargetOf(request);
              if (target == kList) return Reply{MakeHTTPReply(list)};
              if (target == kFirst) return replies(request, m_fileRequests++);
              return Reply{MakeHTTPReply("", "", "HTTP/1.0 404 Not Found")};
          }) {}

    std::string URL() const { return LoopbackURL(m_server.Port()); }
    // The Range values of the file's GETs so far.
    std::vector<std::string> FileRanges() const {
        std::vector<std::string> ranges;
        for (const auto& exchange : m_server.Exchanges())
            if (TargetOf(exchange.request) == kFirst) ranges.push_back(RangeOf(exchange.request));
        return ranges;
    }

  private:
    std::atomic<int> m_fileRequests{0};
    ScriptedHTTPServer m_server;
};

void StartChild(RelayProcess& child, const std::string& parentURL, bool urlMoniker = true) {
    UseParent(child, parentURL, urlMoniker);
    // A failed download is tried again at the next work pass.
    child.SetClientSetting("_KVRGather_Download_RetryMinutes", "0");
    child.Start();
    ASSERT_TRUE(child.AwaitProbe()) << child.Console() << child.Log();
}

// The file of the child's download of 12/1 while it grows.
std::string ActiveDownload(const RelayProcess& child) { return DownloadsFolder(child, "ActiveDownloads/indexed_12_1"); }

// The child's download of 12/1 whole in its active downloads, as a stop after the body and before
// its completion leaves it.
void PlaceWholeActiveDownload(const RelayProcess& child, const DownloadFile& file) {
    std::filesystem::create_directories(DownloadsFolder(child, "ActiveDownloads"));
    WriteWholeFile(ActiveDownload(child), file.bytes);
}

class CutBodyTest : public ::testing::TestWithParam<bool> {};

// The first reply promises the whole file and ends half-way; the next attempt asks for the rest.
TEST_P(CutBodyTest, ABodyCutAtHalfIsResumedFromItsHalf) {
    const DownloadFile file = MakeDownloadFiles(1, 4000).front();
    ScriptedParent parent(file, [&file](const std::string& request, int earlier) {
        if (earlier == 0)
            return Reply{MakeHTTPReply(file.bytes.substr(0, 2000), "Content-Range: bytes 0-3999/4000\r\n",
                                       "HTTP/1.0 206 Partial Content")};
        return Reply{RangeReply(file.bytes, std::stoul(RangeOf(request).substr(6)))};
    });
    RelayProcess child;
    StartChild(child, parent.URL(), GetParam());
    EXPECT_EQ(AwaitServed(child, kFirst), file.bytes);
    EXPECT_EQ(parent.FileRanges(), (std::vector<std::string>{"bytes=0-", "bytes=2000-"}));
    EXPECT_EQ(child.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, CutBodyTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Curl" : "SocketClient"; });

TEST(WholeActiveDownloadTest, FinishesOnTheRefusalOfTheRangeAtItsEnd) {
    const DownloadFile file = MakeDownloadFiles(1, 4000).front();
    ScriptedParent parent(file, [](const std::string&, int) { return kRefusedRange; });
    RelayProcess child;
    PlaceWholeActiveDownload(child, file);
    StartChild(child, parent.URL());
    EXPECT_EQ(AwaitServed(child, kFirst), file.bytes);
    EXPECT_EQ(parent.FileRanges(), std::vector<std::string>{"bytes=4000-"});
    EXPECT_EQ(child.Stop(), 0);
}

// A relay parent answers the range at the end of its file with an empty 206.
TEST(WholeActiveDownloadTest, FinishesOnARelayParentsEmptyReply) {
    const std::vector<DownloadFile> files = MakeDownloadFiles(1, 4000);
    RelayProcess parent;
    KeepAccessLog(parent);
    SeedAction(parent, 12, files);
    parent.Start();
    ASSERT_TRUE(parent.AwaitProbe()) << parent.Console() << parent.Log();
    ASSERT_TRUE(AwaitActionTaken(parent, 12)) << parent.Log();
    RelayProcess child;
    PlaceWholeActiveDownload(child, files[0]);
    StartChild(child, LoopbackURL(parent.Port()));
    EXPECT_EQ(AwaitServed(child, kFirst), files[0].bytes);
    EXPECT_EQ(CountRequests(parent, "GET", kFirst), 1u);
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

// The file's bytes are not the ones its list names: the download fails with the SHA-1s it compared,
// and nothing enters the cache.
TEST(WrongBytesTest, AFileWithOtherBytesFailsAndStaysOutOfTheCache) {
    const DownloadFile file = MakeDownloadFiles(1, 4000).front();
    const DownloadFile other = MakeDownloadFiles(2, 4000).back();
    ScriptedParent parent(file, [&other](const std::string&, int) { return Reply{MakeHTTPReply(other.bytes)}; });
    RelayProcess child;
    UseParent(child, parent.URL());
    child.Start();
    ASSERT_TRUE(child.AwaitProbe()) << child.Console() << child.Log();
    EXPECT_EQ(StatusLineOf(child.Get(kFirst)), "HTTP/1.0 404 Not Found");

    const std::string failed = "Requested SHA1 " + file.sha1 + " does not match actual SHA1 " + other.sha1;
    std::string row;
    EXPECT_TRUE(Eventually(
        [&] {
            row = Sqlite3(DownloadStateDatabaseOf(child),
                          "select Status, ErrorString from INDEXED_DOWNLOADS where ActionID = 12 and DownloadIndex = 1;");
            return row.starts_with("4|");
        },
        90s))
        << row;
    EXPECT_NE(row.find(failed), std::string::npos) << row;
    EXPECT_FALSE(std::filesystem::exists(DownloadsFolder(child, "sha1/" + file.sha1)));
    EXPECT_FALSE(std::filesystem::exists(DownloadsFolder(child, "sha1/" + other.sha1)));
    EXPECT_EQ(StatusLineOf(child.Get(kFirst)), "HTTP/1.0 404 Not Found");
    EXPECT_EQ(child.Stop(), 0);
}

// The parent sends half the file and then nothing; the child is killed meanwhile. Started again, it
// asks for the rest.
TEST(KilledChildTest, AfterARestartTheDownloadIsResumedWithARange) {
    const DownloadFile file = MakeDownloadFiles(1, 400'000).front();
    ScriptedParent parent(file, [&file](const std::string& request, int earlier) {
        if (earlier == 0) {
            // The connection stays open, so the child waits for the rest of the body.
            const std::string head = "HTTP/1.0 200 OK\r\nContent-Length: 400000\r\n\r\n";
            return Reply{head + file.bytes.substr(0, 200'000), true};
        }
        return Reply{RangeReply(file.bytes, std::stoul(RangeOf(request).substr(6)))};
    });
    RelayProcess child;
    StartChild(child, parent.URL());
    child.Get(kFirst);
    ASSERT_TRUE(Eventually(
        [&] {
            std::error_code missing;
            return std::filesystem::file_size(ActiveDownload(child), missing) == 200'000;
        },
        90s));
    child.Kill();

    child.Start();
    ASSERT_TRUE(child.AwaitProbe()) << child.Console() << child.Log();
    EXPECT_EQ(AwaitServed(child, kFirst), file.bytes);
    EXPECT_EQ(parent.FileRanges(), (std::vector<std::string>{"bytes=0-", "bytes=200000-"}));
    EXPECT_EQ(child.Stop(), 0);
}

}  // namespace
