#include "settings/crash_report.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "base/numerals.h"
#include "foundation/interruptor.h"
#include "platform/user_folders.h"
#include "settings/registry_functions.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

// A registry and a state folder of the test's own, which is also the working folder while it runs.
class CrashReports : public ::testing::Test {
  protected:
    CrashReports() : m_savedFolder(std::filesystem::current_path()) {
        ::setenv("XDG_STATE_HOME", m_folder.Path().c_str(), 1);
        std::filesystem::current_path(m_folder.Path());
    }
    ~CrashReports() override {
        std::filesystem::current_path(m_savedFolder);
        ::unsetenv("XDG_STATE_HOME");
    }

    static void SetMachineNumber(const char* name, std::uint32_t value) {
        ASSERT_TRUE(WriteRegistryDWORD(RegistryRoot::LocalMachine, "Software\\Veltra", name, value, true));
    }
    // Where this program's reports go: the working folder for the service account, else the state
    // folder's "Veltra".
    std::string ReportFolder() const {
        return PosixPlatform::IsServiceAccount() ? m_folder.Path() : m_folder / "Veltra";
    }
    std::string ReportPath(const char* suffix) const {
        return ReportFolder() + "/settings_tests" + suffix + ".dmp";
    }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
    int ReportCount() const {
        if (!Exists(ReportFolder())) return 0;
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(ReportFolder()))
            if (entry.path().extension() == ".dmp") ++count;
        return count;
    }

    // Runs a guarded call that throws ExceptionPL(text) and checks that the caller still gets it.
    static void FailGuarded(const std::string& text) {
        EXPECT_THROW(RunWithMiniDumpGuard([&] { throw ExceptionPL(text); }), ExceptionPL);
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    std::filesystem::path m_savedFolder;
};

// Throws and handles an exception of its own while the stack unwinds, so that the escaping exception
// is no longer the last one thrown when its report is written.
struct ThrowsWhileUnwinding {
    ~ThrowsWhileUnwinding() {
        try {
            throw std::runtime_error("handled while unwinding");
        } catch (const std::runtime_error&) {
        }
    }
};

// Test labels: CrashReports tsan
TEST_F(CrashReports, AnEscapingProgramExceptionLeavesOneReportAndReachesTheCaller) {
    EXPECT_THROW(RunWithMiniDumpGuard([] {
                     ThrowsWhileUnwinding unwinding;
                     return DecimalToUInt32(ConstData(std::string_view("12x")));
                 }),
                 NotANumeral);

    ASSERT_EQ(ReportCount(), 1);
    std::string report = ReadWholeFile(ReportPath("_0"));
    EXPECT_NE(report.find("Exception: class NotANumeral\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Text: class NotANumeral\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Thread: "), std::string::npos) << report;
    EXPECT_NE(report.find("Dump type: 0\n"), std::string::npos) << report;
    // The stack of the place that threw, which the handler's stack no longer holds.
    std::size_t backtrace = report.find("Backtrace at the throw:\n  ");
    ASSERT_NE(backtrace, std::string::npos) << report;
    EXPECT_NE(report.find("DecimalToUInt32(ConstData)", backtrace), std::string::npos) << report;
}

TEST_F(CrashReports, ANonDumpableExceptionLeavesNone) {
    EXPECT_THROW(RunWithMiniDumpGuard([] { throw StopRequest(); }), StopRequest);
    EXPECT_EQ(ReportCount(), 0);
}

TEST_F(CrashReports, AGuardedCallThatSucceedsGivesItsResult) {
    EXPECT_EQ(RunWithMiniDumpGuard([] { return 42; }), 42);
    EXPECT_EQ(ReportCount(), 0);
}

TEST_F(CrashReports, WriteMiniDumpsZeroTurnsReportsOff) {
    SetMachineNumber("WriteMiniDumps", 0);
    EXPECT_FALSE(WriteMiniDumpsEnabled());
    FailGuarded("off");
    EXPECT_EQ(ReportCount(), 0);
    SetMachineNumber("WriteMiniDumps", 1);
    EXPECT_TRUE(WriteMiniDumpsEnabled());
}

TEST_F(CrashReports, MaxDumpFilesThreeCyclesThroughThreeNumberedReports) {
    SetMachineNumber("MaxDumpFiles", 3);
    for (const char* text : {"first", "second", "third", "fourth"}) FailGuarded(text);
    EXPECT_EQ(ReportCount(), 3);
    EXPECT_NE(ReadWholeFile(ReportPath("_0")).find("Text: fourth\n"), std::string::npos);
    EXPECT_NE(ReadWholeFile(ReportPath("_1")).find("Text: second\n"), std::string::npos);
    EXPECT_NE(ReadWholeFile(ReportPath("_2")).find("Text: third\n"), std::string::npos);
}

TEST_F(CrashReports, MaxDumpFilesOneKeepsOneUnnumberedReport) {
    SetMachineNumber("MaxDumpFiles", 1);
    FailGuarded("first");
    FailGuarded("second");
    EXPECT_EQ(ReportCount(), 1);
    EXPECT_NE(ReadWholeFile(ReportPath("")).find("Text: second\n"), std::string::npos);
}

TEST_F(CrashReports, TheSettingsAndTheirDefaults) {
    EXPECT_TRUE(WriteMiniDumpsEnabled());
    EXPECT_EQ(MaxDumpFiles(), 5u);
    SetMachineNumber("MaxDumpFiles", 0);
    EXPECT_EQ(MaxDumpFiles(), UINT32_MAX);
    ASSERT_TRUE(WriteRegistryDWORD(RegistryRoot::CurrentUser, "Software\\Veltra", "MINIDUMP_TYPE", 2, true));
    FailGuarded("typed");
    EXPECT_NE(ReadWholeFile(ReportPath("_0")).find("Dump type: 2\n"), std::string::npos);
}

TEST_F(CrashReports, NextDumpNumberCountsPerProgramModuloTheLimit) {
    for (std::uint32_t expected : {0u, 1u, 2u, 0u, 1u})
        EXPECT_EQ(NextDumpNumber("/opt/a/kvrrelay", 3), expected);
    EXPECT_EQ(NextDumpNumber("/elsewhere/other", 3), 0u);
    // 0 counts as no limit rather than dividing by it.
    for (std::uint32_t expected : {0u, 1u, 2u, 3u}) EXPECT_EQ(NextDumpNumber("/opt/unlimited", 0), expected);
    EXPECT_EQ(NextDumpNumber("/opt/" + std::string(261, 'n'), 3), 0u);
    EXPECT_EQ(NextDumpNumber("/opt/" + std::string(261, 'n'), 3), 0u);
}

TEST(AppendDumpNumber, ReplacesTheExtensionOfTheLastComponent) {
    const struct {
        const char* path;
        const char* numbered;
    } cases[] = {
        {"/var/lib/kvrrelay/kvrrelay", "/var/lib/kvrrelay/kvrrelay_3"},
        {"/opt/relay/KVRRelay.exe", "/opt/relay/KVRRelay_3"},
        {"/home/a.b/relay", "/home/a.b/relay_3"},
        {"/home/a/.relay", "/home/a/.relay_3"},
    };
    for (const auto& c : cases) {
        std::string path = c.path;
        EXPECT_TRUE(AppendDumpNumber(path, 3));
        EXPECT_EQ(path, c.numbered);
    }
    std::string tooLong = "/" + std::string(PATH_MAX - 3, 'x');
    EXPECT_FALSE(AppendDumpNumber(tooLong, 10));
    EXPECT_EQ(tooLong.size(), PATH_MAX - 2u);
}

// Suppression lasts for the rest of the process, so it is shown in a child process.
TEST_F(CrashReports, SuppressionTurnsReportsOffWhateverTheSettings) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        SuppressMiniDumps();
        bool reached = false;
        try {
            RunWithMiniDumpGuard([] { throw std::runtime_error("suppressed"); });
        } catch (const std::runtime_error&) {
            reached = true;
        }
        ::_exit(reached && !WriteMiniDumpsEnabled() && ReportCount() == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
