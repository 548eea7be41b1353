#include "foundation/debugger_log_writer.h"

#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/debugger_output.h"
#include "platform/native_thread.h"
#include "support/captured_standard_error.h"

namespace {

TEST(OutputDebugStringLogWriter, TakesExactlyItsOwnCategory) {
    OutputDebugStringLogWriter writer("debug");
    EXPECT_TRUE(writer.AcceptsCategory("debug"));
    EXPECT_FALSE(writer.AcceptsCategory("Debug"));
    EXPECT_FALSE(writer.AcceptsCategory("debug "));
    EXPECT_FALSE(writer.AcceptsCategory("critical"));
}

TEST(OutputDebugStringLogWriter, SendsEachMessageWithTheThreadIdAtOnce) {
    OutputDebugStringLogWriter writer("critical");
    const std::string prefix = std::to_string(PosixPlatform::CurrentThreadId()) + " -- ";
    const struct {
        const char* text;
        const char* message;
    } cases[] = {{"Server started", "Server started\n"}, {"two lines\n", "two lines\n"}, {"", ""}};
    for (const auto& c : cases) {
        CapturedStandardError captured;
        EXPECT_EQ(writer.FormatMessage("critical", c.text), c.message);
        EXPECT_EQ(captured.Text(), prefix + c.message);
    }
}

TEST(DebuggerOutput, ATracedProcessSeesItsDebugger) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) ::_exit(2);
        ::_exit(PosixPlatform::IsDebuggerAttached() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "tracing is not permitted here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
