#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "platform/system_error.h"
#include "support/file_bytes.h"
#include "support/process_status.h"
#include "support/temporary_folder.h"

using PosixPlatform::StartedChildProcess;

namespace {

constexpr unsigned long long kStandardSignals = 0x7FFFFFFF;

void AwaitEnd(StartedChildProcess& child) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (child.IsRunning() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Until the test ends: SIGTERM blocked on this thread and SIGPIPE ignored, as the relay has them.
class RelaySignalSetting {
  public:
    RelaySignalSetting() {
        sigset_t stopSignals;
        ::sigemptyset(&stopSignals);
        ::sigaddset(&stopSignals, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &stopSignals, &m_previousMask);
        m_previousPipe = std::signal(SIGPIPE, SIG_IGN);
    }
    ~RelaySignalSetting() {
        ::pthread_sigmask(SIG_SETMASK, &m_previousMask, nullptr);
        std::signal(SIGPIPE, m_previousPipe);
    }

  private:
    sigset_t m_previousMask;
    void (*m_previousPipe)(int);
};

}  // namespace

TEST(StartedChildProcess, PassesEachArgumentWholeWithTheRelaysEnvironmentAndFolder) {
    TemporaryFolder folder;
    const std::string output = folder / "out";
    ::setenv("KVR_CHILD_TEST_VALUE", "inherited", 1);
    StartedChildProcess child = StartedChildProcess::Start(
        "/bin/sh", {"-c", "printf '%s|%s|%s|%s' \"$1\" \"$2\" \"$KVR_CHILD_TEST_VALUE\" \"$(pwd)\" > \"$3\"",
                    "sh", "--downloads=/a folder/with \"quotes\"", "$HOME;*", output});
    AwaitEnd(child);
    ::unsetenv("KVR_CHILD_TEST_VALUE");
    EXPECT_EQ(ReadFileBytes(output), "--downloads=/a folder/with \"quotes\"|$HOME;*|inherited|" +
                                         std::filesystem::current_path().string());
}

TEST(StartedChildProcess, ChildHoldsOnlyTheStandardDescriptorsAndDefaultSignals) {
    RelaySignalSetting relaySignals;
    // A descriptor without close-on-exec, as a library might leave one.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 3);
    StartedChildProcess child = StartedChildProcess::Start("/bin/sleep", {"30"});
    ::close(leaked);
    const pid_t pid = child.GetProcessID();

    const std::string fdFolder = "/proc/" + std::to_string(pid) + "/fd";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!IsAsleepRunning(pid, "sleep") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(OpenDescriptors(pid), (std::set<std::string>{"0", "1", "2"}));
    EXPECT_EQ(std::filesystem::read_symlink(fdFolder + "/0"), "/dev/null");
    EXPECT_EQ(std::filesystem::read_symlink(fdFolder + "/1"), "/dev/null");
    // The standard signals 1-31 (the C library keeps two of its own above them).
    EXPECT_EQ(std::stoull(ProcessStatusLine(pid, "SigBlk"), nullptr, 16) & kStandardSignals, 0u);
    EXPECT_EQ(std::stoull(ProcessStatusLine(pid, "SigIgn"), nullptr, 16) & kStandardSignals, 0u);
    EXPECT_EQ(::getsid(pid), pid);

    EXPECT_TRUE(child.IsRunning());
    child.Kill();
    EXPECT_TRUE(child.HasBeenReaped());
    EXPECT_FALSE(child.IsRunning());
    EXPECT_FALSE(ProcessExists(pid));
    child.Kill();  // a reaped child is never signalled again
}

TEST(StartedChildProcess, AnEndedChildIsReapedByTheRunningTest) {
    StartedChildProcess child = StartedChildProcess::Start("/bin/true", {});
    const pid_t pid = child.GetProcessID();
    AwaitEnd(child);
    EXPECT_TRUE(child.HasBeenReaped());
    EXPECT_FALSE(ProcessExists(pid));
}

TEST(StartedChildProcess, ProgramThatCannotRunIsNotStarted) {
    TemporaryFolder folder;
    WriteFileBytes(folder / "not-executable", "#!/bin/sh\n");
    for (const std::string& program : {folder / "missing", folder / "not-executable", std::string("sleep")})
        EXPECT_THROW(StartedChildProcess::Start(program, {"1"}), Posix::Error) << program;
}

TEST(StartedChildProcess, MovedHolderKeepsTheChild) {
    StartedChildProcess first = StartedChildProcess::Start("/bin/sleep", {"30"});
    const pid_t pid = first.GetProcessID();
    StartedChildProcess second = std::move(first);
    EXPECT_TRUE(first.HasBeenReaped());
    EXPECT_FALSE(first.IsRunning());
    EXPECT_TRUE(second.IsRunning());
    second.Kill();
    EXPECT_FALSE(ProcessExists(pid));
}
