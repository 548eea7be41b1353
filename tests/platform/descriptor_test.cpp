#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/event_descriptor.h"
#include "platform/file_descriptor.h"
#include "platform/system_error.h"

using PosixPlatform::EventDescriptor;
using PosixPlatform::FileDescriptor;
using PosixPlatform::WaitForReadyDescriptor;

namespace {

bool IsOpen(int descriptor) {
    return ::fcntl(descriptor, F_GETFD) != -1;
}

struct Pipe {
    Pipe() {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        read = FileDescriptor(ends[0]);
        write = FileDescriptor(ends[1]);
    }
    FileDescriptor read;
    FileDescriptor write;
};

}  // namespace

TEST(FileDescriptor, ClosesWhatItOwnsExactlyOnce) {
    Pipe pipe;
    int readEnd = pipe.read.Get();
    {
        FileDescriptor moved(std::move(pipe.read));
        EXPECT_FALSE(pipe.read.IsValid());
        EXPECT_TRUE(IsOpen(readEnd));
    }
    EXPECT_FALSE(IsOpen(readEnd));

    int writeEnd = pipe.write.Release();
    EXPECT_FALSE(pipe.write.IsValid());
    EXPECT_TRUE(IsOpen(writeEnd));
    PosixPlatform::CloseValidDescriptor(writeEnd);
    EXPECT_FALSE(IsOpen(writeEnd));
}

TEST(FileDescriptor, MoveAssignmentClosesTheOldDescriptor) {
    Pipe first, second;
    int old = first.read.Get();
    first.read = std::move(second.read);
    EXPECT_FALSE(IsOpen(old));
    EXPECT_TRUE(first.read.IsValid());
}

TEST(FileDescriptor, CloseReportsFailureAndEmptiesTheHolder) {
    EXPECT_NO_THROW(PosixPlatform::CloseValidDescriptor(PosixPlatform::kNoDescriptor));
    Pipe pipe;
    FileDescriptor stale(pipe.read.Get());  // a second owner of one number: the first close wins
    pipe.read.Close();
    try {
        stale.Close();
        FAIL() << "closing a closed descriptor succeeded";
    } catch (const Posix::Error& error) {
        EXPECT_EQ(error.Code(), EBADF);
    }
    EXPECT_FALSE(stale.IsValid());
}

// Test labels: EventDescriptor tsan
TEST(EventDescriptor, StaysReadableFromSignalUntilClear) {
    EventDescriptor event;
    const int descriptors[] = {event.Get()};
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), -1);
    event.Signal();
    event.Signal();
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), 0);
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), 0) << "a wait must not consume the signal";
    event.Clear();
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), -1);
    event.Clear();
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), -1);
}

TEST(EventDescriptor, WaitReportsTheFirstReadyDescriptor) {
    EventDescriptor event;
    Pipe pipe;
    const int descriptors[] = {event.Get(), pipe.read.Get()};
    ASSERT_EQ(::write(pipe.write.Get(), "x", 1), 1);
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), 1);
    event.Signal();
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 0), 0);
}

TEST(EventDescriptor, HangUpCountsAsReady) {
    Pipe pipe;
    const int descriptors[] = {pipe.read.Get()};
    pipe.write.Close();
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, PosixPlatform::kInfiniteWait), 0);
}

TEST(EventDescriptor, UnlimitedWaitEndsWhenAnotherThreadSignals) {
    EventDescriptor event;
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        event.Signal();
    });
    const int descriptors[] = {event.Get()};
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, PosixPlatform::kInfiniteWait), 0);
    setter.join();
}

TEST(EventDescriptor, LimitedWaitTimesOut) {
    EventDescriptor event;
    const int descriptors[] = {event.Get()};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForReadyDescriptor(descriptors, 30), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(EventDescriptor, BadWaitsThrow) {
    Pipe pipe;
    int closed = pipe.read.Get();
    pipe.read.Close();
    const int descriptors[] = {closed};
    EXPECT_THROW(WaitForReadyDescriptor(descriptors, 0), Posix::Error);
    const int tooMany[PosixPlatform::kMaxWaitedDescriptors + 1] = {};
    EXPECT_THROW(WaitForReadyDescriptor(tooMany, 0), Posix::Error);
}
