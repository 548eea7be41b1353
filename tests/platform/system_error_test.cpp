#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <memory>

#include "base/exceptions.h"

namespace {

std::unique_ptr<CaughtException> CaptureFrom(void (*thrower)()) {
    try {
        thrower();
    } catch (...) {
        return CaptureCurrentException();
    }
    return nullptr;
}

}  // namespace

TEST(SystemError, TextNamesCodeAndTrimmedSystemDescription) {
    EXPECT_STREQ(Posix::Error(ENOENT).what(), "System Error: 2: No such file or directory");
    EXPECT_STREQ(Posix::Error(99999).what(), "System Error: 99999: unknown error 0x1869f");
}

TEST(SystemError, CopyBuildsItsOwnText) {
    Posix::Error original(EACCES);
    Posix::Error copy(original);
    EXPECT_EQ(copy.Code(), EACCES);
    EXPECT_STREQ(copy.what(), original.what());
}

TEST(SystemError, ThrowsOnlyWhenErrnoIsSet) {
    errno = 0;
    EXPECT_NO_THROW(Posix::CheckResult(false));
    errno = EPERM;
    EXPECT_NO_THROW(Posix::CheckResult(true));
    try {
        Posix::CheckResult(false);
        FAIL() << "no exception";
    } catch (const Posix::Error& error) {
        EXPECT_EQ(error.Code(), EPERM);
    }
}

// The error registers itself with the exception registry, so another thread can throw it again.
TEST(CapturedExceptions, SystemErrorKeepsItsCode) {
    auto caught = CaptureFrom([] { throw Posix::Error(ENOENT); });
    ASSERT_NE(dynamic_cast<CaughtExceptionOfType<Posix::Error>*>(caught.get()), nullptr);
    try {
        caught->Rethrow();
    } catch (const Posix::Error& error) {
        EXPECT_EQ(error.Code(), ENOENT);
        EXPECT_STREQ(error.what(), "System Error: 2: No such file or directory");
    }
}
