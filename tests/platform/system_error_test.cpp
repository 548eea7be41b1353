#include "platform/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>

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
