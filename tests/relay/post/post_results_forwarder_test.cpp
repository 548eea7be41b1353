#include "relay/post/post_results_forwarder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/const_data_reader.h"
#include "crypto/encryption_keys.h"
#include "crypto/openssl_startup.h"
#include "net/started_socket_system.h"
#include "relay/post/post_results_test_support.h"
#include "support/captured_log.h"
#include "support/loopback_sockets.h"

using namespace std::chrono_literals;

namespace {

class PostResultsForwarderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    void SetUp() override {
        StartedSocketSystem();
        for (const std::string& folder :
             {machine.ForwardingDir(), machine.TemporaryDir(), machine.RejectedDir()})
            std::filesystem::create_directories(folder);
    }

    // Built at first use, after the test's settings.
    PostResultsForwarder& Forwarder() {
        if (!m_forwarder) {
            m_configuration =
                std::make_unique<PostResultsConfiguration>([] { return TestEncryptionCertificate(); });
            m_forwarder =
                std::make_unique<PostResultsForwarder>(*m_configuration, *m_configuration, stop, failed);
        }
        return *m_forwarder;
    }
    void StartLoop() { m_loop = StartCallableThread(Forwarder()); }
    // Stops the loop and answers how long it took to end.
    std::chrono::steady_clock::duration StopLoop() {
        const auto asked = std::chrono::steady_clock::now();
        stop.Set();
        WaitAndCloseThreadHandle(m_loop);
        return std::chrono::steady_clock::now() - asked;
    }

    void PutFile(const std::string& folder, const std::string& name, const std::string& content) {
        std::ofstream(folder + "/" + name, std::ios::binary) << content;
    }
    // Plain reports "report-1" ... in the buffer, as the plug-in leaves them, filled up to `size` bytes
    // with bytes that compress well, or with `noise`.
    void PutReports(int count, std::size_t size = 0, bool noise = false) {
        std::uint32_t state = 12345;
        for (int i = 1; i <= count; ++i) {
            std::string content = "report-" + std::to_string(i) + ".";
            while (content.size() < size) {
                state = state * 1103515245 + 12345;
                content += noise ? static_cast<char>(state >> 24) : '.';
            }
            PutFile(machine.BufferDir(), NumberedFileName(static_cast<std::uint64_t>(i)).CString(), content);
        }
    }
    void UseParent(const std::string& url) { machine.SetNamed("_KVRRelay_PostResults_ParentRelayURL", url); }
    bool Failed() { return *LockObject(failed); }

    // The text of the pass's failure; "" when it went well.
    std::string Pass() {
        try {
            Forwarder().CompactBufferDirectory();
            Forwarder().SendForwardingBatch();
        } catch (...) {
            return CurrentExceptionText();
        }
        return "";
    }

    PostResultsMachine machine;
    Event stop;
    Guarded<bool> failed;

  private:
    std::unique_ptr<PostResultsConfiguration> m_configuration;
    std::unique_ptr<PostResultsForwarder> m_forwarder;
    ThreadHandle m_loop;
};

}  // namespace

// Test labels: PostResultsForwarderTest tsan
// Reports are taken in name order, up to the size limit per archive (tested before each file, so one
// report larger than the limit is packed alone).
TEST_F(PostResultsForwarderTest, CompactionPacksTheBufferIntoCompressedArchivesOfTheSizeLimit) {
    struct Case {
        const char* name;
        int reports;
        std::size_t size;
        const char* limit;
        std::vector<std::size_t> perArchive;
    };
    for (const Case& c : {Case{"2.5 MiB of 100 KiB reports", 25, 100 * 1024, "1048576", {11, 11, 3}},
                          Case{"reports above the limit", 2, 5000, "1000", {1, 1}}}) {
        SCOPED_TRACE(c.name);
        machine.SetNamed("_KVRRelay_PostResults_ResultSizeLimit", c.limit);
        PutReports(c.reports, c.size);
        Forwarder().CompactBufferDirectory();
        EXPECT_TRUE(FileNamesIn(machine.BufferDir()).empty());
        std::vector<std::size_t> perArchive;
        std::vector<std::string> reports;
        for (const std::string& archive : FilesIn(machine.ForwardingDir())) {
            const std::vector<std::string> sections = SectionsOf(Inflated(archive));
            perArchive.push_back(sections.size());
            reports.insert(reports.end(), sections.begin(), sections.end());
        }
        EXPECT_EQ(perArchive, c.perArchive);
        ASSERT_EQ(reports.size(), std::size_t(c.reports));
        for (std::size_t i = 0; i < reports.size(); ++i)
            EXPECT_EQ(reports[i].substr(0, reports[i].find('.')), "report-" + std::to_string(i + 1));
        std::filesystem::remove_all(machine.ForwardingDir());
        std::filesystem::create_directories(machine.ForwardingDir());
    }
}

TEST_F(PostResultsForwarderTest, ABatchReachesTheParentAsStoredArchiveOfCompressedArchivesAndIsThenDeleted) {
    ScriptedParent parent(kAccepted);
    UseParent(parent.URL());
    PutReports(3);
    EXPECT_EQ(Pass(), "");
    ASSERT_EQ(parent.Bodies().size(), 1u);
    EXPECT_EQ(ReportsOfStoredBatch(parent.Bodies()[0]),
              (std::vector<std::string>{"report-1.", "report-2.", "report-3."}));
    EXPECT_NE(parent.Server().Exchanges()[0].request.find("POST /cgi-bin/vtdaruravidu/PostResults.exe "),
              std::string::npos);
    EXPECT_TRUE(FileNamesIn(machine.ForwardingDir()).empty());
    EXPECT_TRUE(FileNamesIn(machine.TemporaryDir()).empty());
    EXPECT_EQ(Pass(), "");
    EXPECT_EQ(parent.Bodies().size(), 1u);
}

// Only 200 with status 1 is an answer that the parent took the batch. A missing status (a proxy's
// page) is a failed post; another value is the parent's refusal, which sets the files aside.
TEST_F(PostResultsForwarderTest, TheParentsAnswerDecidesWhereTheBatchGoes) {
    struct Case {
        const char* name;
        std::string reply;
        const char* error;
        std::size_t forwarding;
        std::size_t rejected;
    };
    for (const Case& c :
         {Case{"accepted", kAccepted, "", 0, 0},
          Case{"no status value", kWithoutStatus, "Failed to post results to parent.", 1, 0},
          Case{"status 500", kServerError, "Failed to post results to parent.", 1, 0},
          Case{"refused", kRefused, "Forwarded results document rejected by parent.", 0, 1}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(machine.RejectedDir());
        ScriptedParent parent(c.reply);
        UseParent(parent.URL());
        PutFile(machine.ForwardingDir(), "00000000000000f1", Compressed("report"));
        EXPECT_EQ(Pass(), c.error);
        EXPECT_EQ(FileNamesIn(machine.ForwardingDir()).size(), c.forwarding);
        EXPECT_EQ(FilesIn(machine.RejectedDir()), std::vector<std::string>(c.rejected, Compressed("report")));
    }
    PutFile(machine.ForwardingDir(), "00000000000000f2", "unsent");
    UseParent("http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/PostResults.exe");
    EXPECT_EQ(Pass(), "Failed to post results to parent.");
    UseParent("");
    EXPECT_EQ(Pass(), "Failed to post results to parent.");
    EXPECT_EQ(FileNamesIn(machine.ForwardingDir()).size(), 1u);
}

// RejectedDir holds at most 64 MiB; refused files beyond that are deleted and counted in the log.
TEST_F(PostResultsForwarderTest, RefusedFilesBeyondTheRejectedFolderLimitAreDeletedAndCounted) {
    std::filesystem::resize_file(
        (std::ofstream(machine.RejectedDir() + "/older"), machine.RejectedDir() + "/older"),
        PostResultsForwarder::kMostRejectedBytes - 10);
    ScriptedParent parent(kRefused);
    UseParent(parent.URL());
    PutFile(machine.ForwardingDir(), "0000000000000001", "tiny");
    PutFile(machine.ForwardingDir(), "0000000000000002", "more than ten bytes");
    CapturedLog log;
    EXPECT_EQ(Pass(), "Forwarded results document rejected by parent.");
    EXPECT_EQ(FileNamesIn(machine.RejectedDir()), (std::vector<std::string>{"0000000000000001", "older"}));
    EXPECT_TRUE(FileNamesIn(machine.ForwardingDir()).empty());
    EXPECT_EQ(
        log.LinesStartingWith("critical: PostResultsForwarder: RejectedDir holds 67108864 bytes: deleted 1 "
                              "rejected files")
            .size(),
        1u);
}

// A file that cannot be read is set aside and the pass fails; the files after it go with the next pass.
TEST_F(PostResultsForwarderTest, AFileThatCannotBeReadIsMovedToTheRejectedFolder) {
    ScriptedParent parent(kAccepted);
    UseParent(parent.URL());
    PutReports(1);
    std::filesystem::create_symlink(machine.Folder("gone"), machine.BufferDir() + "/0000000000000002");
    PutFile(machine.BufferDir(), "0000000000000003", "report-3");
    EXPECT_NE(Pass(), "");
    EXPECT_EQ(FileNamesIn(machine.RejectedDir()), std::vector<std::string>{"0000000000000002"});
    EXPECT_EQ(Pass(), "");
    ASSERT_EQ(parent.Bodies().size(), 1u);
    EXPECT_EQ(ReportsOfStoredBatch(parent.Bodies()[0]), (std::vector<std::string>{"report-1.", "report-3"}));
}

// A full disk fails the archive, not the reports: every report stays where it was.
TEST_F(PostResultsForwarderTest, AnArchiveThatCannotBeWrittenLeavesEveryReportInPlace) {
    PutReports(3, 64 * 1024, true);
    Forwarder();
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit small{16 * 1024, limit.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string error = Pass();
    setrlimit(RLIMIT_FSIZE, &limit);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_NE(error, "");
    EXPECT_EQ(FileNamesIn(machine.BufferDir()).size(), 3u);
    EXPECT_TRUE(FileNamesIn(machine.RejectedDir()).empty());
    EXPECT_TRUE(FileNamesIn(machine.ForwardingDir()).empty());
    EXPECT_TRUE(FileNamesIn(machine.TemporaryDir()).empty());
}

TEST_F(PostResultsForwarderTest, WithAKeyTheBatchIsEncryptedForTheMastheadsCertificate) {
    machine.InstallKey();
    ScriptedParent parent(kAccepted);
    UseParent(parent.URL());
    PutReports(2);
    EXPECT_EQ(Pass(), "");
    ASSERT_EQ(parent.Bodies().size(), 1u);
    const std::string batch = parent.Bodies()[0];
    EXPECT_EQ(batch.substr(0, 8), std::string("##SE001\0", 8));
    EXPECT_EQ(ReportsOfBatch(batch), (std::vector<std::string>{"report-1.", "report-2."}));
}

// Nothing is lost or sent twice: while the parent fails, the reports wait and the flag is set; the
// first good pass delivers them once and clears it.
TEST_F(PostResultsForwarderTest, ReportsWaitWhileTheParentFailsAndGoOnceWhenItIsBack) {
    ScriptedParent parent(kWithoutStatus);
    UseParent(parent.URL());
    machine.SetNamed("_KVRRelay_PostResults_ResultTimeLimit", "0");
    PutReports(2);
    StartLoop();
    ASSERT_TRUE(AwaitCondition([&] { return Failed(); }));
    parent.Answer(kAccepted);
    ASSERT_TRUE(AwaitCondition([&] { return !Failed(); }));
    std::this_thread::sleep_for(1500ms);
    EXPECT_LT(StopLoop(), 1s);
    const std::vector<std::string> bodies = parent.Bodies();
    ASSERT_GE(bodies.size(), 2u);
    EXPECT_EQ(ReportsOfStoredBatch(bodies.back()), (std::vector<std::string>{"report-1.", "report-2."}));
    for (const std::string& failedBody : std::vector<std::string>(bodies.begin(), bodies.end() - 1))
        EXPECT_EQ(failedBody, bodies.back());
    EXPECT_TRUE(FileNamesIn(machine.ForwardingDir()).empty());
    EXPECT_TRUE(FileNamesIn(machine.BufferDir()).empty());
}

// A "ResultTimeLimit" of 0 must not make the loop spin: the waits start from a second and back off
// from there.
// Test labels: PostResultsForwarderTest.AZeroResultTimeLimitStillWaitsASecondAndBacksOff timed
TEST_F(PostResultsForwarderTest, AZeroResultTimeLimitStillWaitsASecondAndBacksOff) {
    ScriptedParent parent(kWithoutStatus);
    UseParent(parent.URL());
    machine.SetNamed("_KVRRelay_PostResults_ResultTimeLimit", "0");
    PutReports(1);
    StartLoop();
    std::this_thread::sleep_for(3s);
    StopLoop();
    EXPECT_GE(parent.Bodies().size(), 1u);
    EXPECT_LE(parent.Bodies().size(), 2u);  // at 0 and 2 seconds
}

// The stop ends a transfer to a parent that never answers, and the loop, without a log line.
TEST_F(PostResultsForwarderTest, AStopEndsATransferThatIsWaitingForTheParent) {
    SilentTCPListener parent;
    UseParent("http://127.0.0.1:" + std::to_string(parent.Port()) + "/PostResults.exe");
    PutReports(1);
    CapturedLog log;
    StartLoop();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(StopLoop(), 1s);
    EXPECT_TRUE(log.LinesStartingWith("critical: PostResultsForwarder").empty());
    EXPECT_FALSE(FileNamesIn(machine.ForwardingDir()).empty());
}
