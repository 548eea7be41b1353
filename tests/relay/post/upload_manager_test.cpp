#include "relay/post/upload_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "crypto/openssl_startup.h"
#include "net/started_socket_system.h"
#include "relay/post/upload_test_support.h"
#include "support/loopback_sockets.h"
#include "support/upload_parent.h"

using namespace std::chrono_literals;

namespace {

std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return bytes;
}

class UploadManagerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeOpenSSL(false);
        StartedSocketSystem();
    }

    // A manager whose worker stays paused: the test does its work, piece by piece.
    UploadManager& Manager() {
        if (!m_manager) {
            m_manager = std::make_unique<UploadManager>(true, FileLocation(m_transfers.Path().c_str()));
            m_manager->SetParentRelayHost(parent.Host());
        }
        return *m_manager;
    }
    // A manager at work on its own.
    UploadManager& RunningManager(const std::string& host) {
        m_manager = std::make_unique<UploadManager>(true, FileLocation(m_transfers.Path().c_str()));
        m_manager->SetParentRelayHost(host);
        EXPECT_TRUE(m_manager->Resume(5));
        return *m_manager;
    }
    // A finished buffered upload, `age` seconds old; answers its name.
    std::string AddUpload(const std::string& content, int age = 0) {
        const std::string name = Sha1Hex(content);
        std::filesystem::create_directories(machine.Sha1Folder());
        const std::string path = machine.Sha1Folder() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::seconds(age));
        return name;
    }
    bool IsBuffered(const std::string& name) const { return Exists(machine.Sha1Folder() + "/" + name); }
    // Does the manager's work until the condition holds; false after `pieces` pieces without.
    bool WorkUntil(const std::function<bool()>& condition, int pieces = 40) {
        for (int i = 0; i < pieces && !condition(); ++i) Manager().DoWork();
        return condition();
    }

    UploadMachine machine;
    UploadParent parent;

  private:
    TemporaryFolder m_transfers;
    std::unique_ptr<UploadManager> m_manager;  // last: it goes first
};

}  // namespace

// Test labels: UploadManagerTest tsan
TEST_F(UploadManagerTest, IdlesWhileItHasNoParent) {
    AddUpload("waiting");
    Manager().SetParentRelayHost("");
    EXPECT_EQ(Manager().DoWork(), UploadManager::kIdleDelay);
    EXPECT_EQ(Manager().GetStatusText(), "No Progress");
    EXPECT_TRUE(parent.Ranges().empty());
}

// 200 bytes first, to learn where the parent's copy ends; then "ChunkSize" bytes from there on. The
// file goes once the parent holds all of it.
TEST_F(UploadManagerTest, SendsAFileInRangesFromWhereTheParentsCopyEnds) {
    const std::string content = Pattern(1'000'000);
    const std::string name = AddUpload(content);
    EXPECT_GE(Manager().DoWork(), UploadManager::kShortestListingDelay);
    Manager().DoWork();
    Manager().DoWork();
    std::vector<UploadParent::Range> ranges = parent.Ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0].target, "/cgi-bin/vtdaruravidu/postfile.exe?sha1=" + name + "&range=0,199,1000000");
    EXPECT_EQ(ranges[0].body, content.substr(0, 200));
    EXPECT_EQ(ranges[1].first, 200u);
    EXPECT_EQ(ranges[1].last, 200u + 131'072 - 1);
    EXPECT_EQ(ranges[1].body, content.substr(200, 131'072));

    ASSERT_TRUE(WorkUntil([&] { return !IsBuffered(name); }));
    EXPECT_EQ(parent.Held(name), content);
    EXPECT_EQ(Manager().GetStatusText().rfind(name + ": 1000000 of 1000000 bytes in ", 0), 0u)
        << Manager().GetStatusText();
}

TEST_F(UploadManagerTest, TakesTheParentsOffsetAndSmallerChunkSize) {
    const std::string name = AddUpload(Pattern(1'000'000));
    bool first = true;
    parent.Answer([&](const UploadParent::Range&) -> std::optional<std::string> {
        if (!std::exchange(first, false)) return std::nullopt;
        return UploadSuccessReply(500, 0, 65'536);
    });
    Manager().DoWork();
    Manager().DoWork();
    Manager().DoWork();
    const std::vector<UploadParent::Range> ranges = parent.Ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1].first, 500u);
    EXPECT_EQ(ranges[1].last, 500u + 65'536 - 1);
    EXPECT_TRUE(IsBuffered(name));
}

// Each failure doubles the wait before the next try, which starts at offset 0 again.
TEST_F(UploadManagerTest, BacksOffWhileTheParentFails) {
    AddUpload(Pattern(1'000));
    parent.Answer([](const UploadParent::Range&) -> std::optional<std::string> {
        return MakeHTTPReply("busy", "", "HTTP/1.0 500 Internal Error");
    });
    std::vector<std::int64_t> retryDelays;
    for (int piece = 0; piece < 6; ++piece) {
        const std::size_t before = parent.Ranges().size();
        const std::int64_t delay = Manager().DoWork();
        if (parent.Ranges().size() > before) retryDelays.push_back(delay);
    }
    EXPECT_EQ(retryDelays, (std::vector<std::int64_t>{1'000, 2'000, 4'000}));
    for (const UploadParent::Range& range : parent.Ranges()) {
        EXPECT_EQ(range.first, 0u);
        EXPECT_EQ(range.last, 199u);
    }
    EXPECT_EQ(Manager().GetStatusText(), "Error: PostHttp function returned HTTP status code 500");
}

// A file the parent will not take stays for the next listing; the files after it go on.
TEST_F(UploadManagerTest, ARefusedFileDoesNotHoldUpTheOthers) {
    const std::string refused = AddUpload("refused, always", 60);
    const std::string taken = AddUpload(Pattern(5'000));
    parent.Answer([&](const UploadParent::Range& range) -> std::optional<std::string> {
        if (range.sha1 != refused) return std::nullopt;
        return MakeHTTPReply("Error: no room\r\n");
    });
    ASSERT_TRUE(WorkUntil([&] { return !IsBuffered(taken); }));
    EXPECT_EQ(parent.Held(taken), Pattern(5'000));
    EXPECT_TRUE(IsBuffered(refused));
    EXPECT_EQ(parent.Ranges().front().sha1, refused);  // the oldest first
    ASSERT_TRUE(WorkUntil([&] { return parent.Ranges().back().sha1 == refused; }));
    EXPECT_EQ(Manager().GetStatusText(),
              "Error: invalid or missing result header in server response: Error: no room");
}

// Sizes are 64-bit: a file beyond 4 GiB (sparse here) is sent from wherever its parent's copy ends.
TEST_F(UploadManagerTest, FilesBeyondFourGiBAreSentLikeAnyOther) {
    constexpr std::uint64_t kSize = 5ull << 30;
    const std::string name = AddUpload("start");
    std::filesystem::resize_file(machine.Sha1Folder() + "/" + name, kSize);
    bool first = true;
    parent.Answer([&](const UploadParent::Range&) -> std::optional<std::string> {
        if (!std::exchange(first, false)) return std::nullopt;
        return UploadSuccessReply(kSize - 100);
    });
    ASSERT_TRUE(WorkUntil([&] { return parent.Ranges().size() == 2; }));
    const UploadParent::Range range = parent.Ranges()[1];
    EXPECT_EQ(range.first, kSize - 100);
    EXPECT_EQ(range.last, kSize - 1);
    EXPECT_EQ(range.size, kSize);
    EXPECT_EQ(range.body, std::string(100, '\0'));
}

// A file taken away after the listing costs only its own range.
TEST_F(UploadManagerTest, AFileThatVanishedIsPassedOver) {
    const std::string gone = AddUpload("gone soon", 60);
    const std::string kept = AddUpload("kept");
    Manager().DoWork();
    std::filesystem::remove(machine.Sha1Folder() + "/" + gone);
    Manager().DoWork();
    EXPECT_EQ(Manager().GetStatusText(), "Error: " + gone + ": the file is gone");
    ASSERT_TRUE(WorkUntil([&] { return !IsBuffered(kept); }));
    EXPECT_EQ(parent.Held(kept), "kept");
}

// Every answer the manager cannot use fails the range and says why; the file stays.
TEST_F(UploadManagerTest, UnusableAnswersFailTheRange) {
    const std::string name = AddUpload(Pattern(300));
    const struct {
        std::string reply;
        std::string status;
    } cases[] = {
        {MakeHTTPReply(std::string(600, 'x')), "Error: invalid or missing result header in server response"},
        {MakeHTTPReply("", "x-kvr-upload-result: Success=5\r\n"),
         "Error: invalid result header in server response (first comma not found)"},
        {MakeHTTPReply("", "x-kvr-upload-result: Success=5,0\r\n"),
         "Error: invalid result header in server response (second comma not found)"},
        {MakeHTTPReply("", "x-kvr-upload-result: Success=five,0,0\r\n"),
         "Error: invalid result header in server response (not a number)"},
        {UploadSuccessReply(301), "Error: the parent answered 301 of 300 bytes for " + name},
        {MakeHTTPReply("", "", "HTTP/1.0 404 Not Found"), "Error: PostHttp function returned HTTP status code 404"},
    };
    for (const auto& each : cases) {
        parent.Answer([&](const UploadParent::Range&) -> std::optional<std::string> { return each.reply; });
        const std::size_t before = parent.Ranges().size();
        ASSERT_TRUE(WorkUntil([&] { return parent.Ranges().size() > before; })) << each.status;
        EXPECT_EQ(Manager().GetStatusText(), each.status);
        EXPECT_TRUE(IsBuffered(name));
    }
    Manager().SetParentRelayHost("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
    Manager().DoWork();
    Manager().DoWork();
    EXPECT_EQ(Manager().GetStatusText().rfind("Error: PostHttp function returned error code -", 0), 0u)
        << Manager().GetStatusText();
}

// Folders and empty files are passed over; leftover partial files older than "CleanupHours" go.
TEST_F(UploadManagerTest, TheListingTakesFinishedUploadsOnly) {
    const std::string name = AddUpload("real upload");
    std::filesystem::create_directories(machine.Sha1Folder() + "/12/4711");
    std::ofstream(machine.Sha1Folder() + "/empty");
    for (const char* leftover : {"_stale", "_recent"}) std::ofstream(machine.Sha1Folder() + "/" + leftover) << "x";
    MakeOlder(machine.Sha1Folder() + "/_stale", 73);
    ASSERT_TRUE(WorkUntil([&] { return !IsBuffered(name); }));
    for (const UploadParent::Range& range : parent.Ranges()) EXPECT_EQ(range.sha1, name);
    EXPECT_EQ(FileNamesIn(machine.Sha1Folder()), (std::vector<std::string>{"_recent", "empty"}));
}

// Test labels: UploadManagerTest.PacesItselfByTheSmallerThrottle timed
// At "ThrottleKBPS" 1 the bytes sent since a file began set the pace: 10,240 bytes, ten seconds.
TEST_F(UploadManagerTest, PacesItselfByTheSmallerThrottle) {
    machine.SetNamed("_KVRRelay_UploadManager_ThrottleKBPS", "1");
    machine.SetNamed("_KVRRelay_UploadManager_ChunkSize", "10040");
    AddUpload(Pattern(50'000));
    Manager().DoWork();
    const std::int64_t afterFirst = Manager().DoWork();
    EXPECT_GE(afterFirst, 100);
    EXPECT_LE(afterFirst, 200'000 / 1'024);
    const std::int64_t afterSecond = Manager().DoWork();
    EXPECT_GT(afterSecond, 9'000);
    EXPECT_LE(afterSecond, 10'000);

    // Without a throttle of its own the manager does not slow down for the parent's.
    machine.SetNamed("_KVRRelay_UploadManager_ThrottleKBPS", "0");
    parent.SetHints(1, 0);
    EXPECT_EQ(Manager().DoWork(), UploadManager::kShortestDelay);
}

// At work on its own the manager notices a new upload, and a new parent host takes the uploads there.
TEST_F(UploadManagerTest, TheWorkerCarriesUploadsAsTheyArriveToTheParentItIsGiven) {
    UploadManager& manager = RunningManager("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()));
    EXPECT_EQ(UploadManager::Instance(), &manager);
    const std::string name = AddUpload(Pattern(20'000));
    ASSERT_TRUE(AwaitCondition([&] { return manager.GetStatusText().rfind("Error: PostHttp", 0) == 0; }));
    manager.ChangeParentRelayHost(parent.Host());
    EXPECT_TRUE(AwaitCondition([&] { return !IsBuffered(name); }, 30s)) << manager.GetStatusText();
    EXPECT_EQ(parent.Held(name), Pattern(20'000));
    const std::string next = AddUpload(Pattern(30'000));
    EXPECT_TRUE(AwaitCondition([&] { return !IsBuffered(next); }, 30s)) << manager.GetStatusText();
}

// Test labels: UploadManagerTest.APauseOrStopBreaksOffATransfer timed
// A transfer that waits for a silent parent breaks off at a pause or stop; the manager goes at once.
TEST_F(UploadManagerTest, APauseOrStopBreaksOffATransfer) {
    SilentTCPListener silent;
    AddUpload(Pattern(1'000));
    auto manager = std::make_unique<UploadManager>(true, FileLocation());
    manager->SetParentRelayHost("http://127.0.0.1:" + std::to_string(silent.Port()));
    ASSERT_TRUE(manager->Resume(5));
    std::this_thread::sleep_for(1500ms);  // past the listing's delay, into the transfer
    auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(manager->Pause(5));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(manager->GetStatusText(), "No Progress");
    ASSERT_TRUE(manager->Resume(5));
    std::this_thread::sleep_for(1500ms);
    started = std::chrono::steady_clock::now();
    manager.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_EQ(UploadManager::Instance(), nullptr);
}
