#include "net/socket_watcher.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Two connected stream sockets.
struct SocketPair {
    SocketPair() {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends), 0);
        ours = SocketHandle(ends[0]);
        theirs = SocketHandle(ends[1]);
    }
    SocketHandle ours;
    SocketHandle theirs;
};

bool Reported(const SocketWatcher& watcher, int socket) {
    const std::vector<int>& ready = watcher.ReadySockets();
    return std::find(ready.begin(), ready.end(), socket) != ready.end();
}

}  // namespace

// Level-triggered: a socket with unread bytes is reported at every wait until they are read.
TEST(SocketWatcher, ReportsAReadableSocketUntilItIsRead) {
    SocketWatcher watcher;
    SocketPair pair;
    watcher.Watch(pair.ours.Get(), true, false);
    EXPECT_EQ(watcher.Count(), 1u);
    watcher.Wait(0);
    EXPECT_FALSE(watcher.IsReadable(pair.ours.Get()));
    EXPECT_TRUE(watcher.ReadySockets().empty());

    ASSERT_EQ(::write(pair.theirs.Get(), "x", 1), 1);
    for (int wait = 0; wait < 2; ++wait) {
        watcher.Wait(1000);
        EXPECT_TRUE(watcher.IsReadable(pair.ours.Get()));
        EXPECT_FALSE(watcher.IsWritable(pair.ours.Get()));  // writable, but not watched for it
        EXPECT_EQ(watcher.ReadySockets(), std::vector<int>{pair.ours.Get()});
    }
    char byte;
    ASSERT_EQ(::read(pair.ours.Get(), &byte, 1), 1);
    watcher.Wait(0);
    EXPECT_FALSE(watcher.IsReadable(pair.ours.Get()));
}

TEST(SocketWatcher, InterestChangesTakeEffectAtTheNextWait) {
    SocketWatcher watcher;
    SocketPair pair;
    watcher.Watch(pair.ours.Get(), false, true);
    watcher.Wait(1000);
    EXPECT_TRUE(watcher.IsWritable(pair.ours.Get()));

    watcher.Watch(pair.ours.Get(), true, false);
    EXPECT_FALSE(watcher.IsWritable(pair.ours.Get()));  // what is no longer watched is not ready
    watcher.Wait(0);
    EXPECT_FALSE(watcher.IsWritable(pair.ours.Get()));
    EXPECT_EQ(watcher.Count(), 1u);
}

// A hung-up socket is reported whatever it is watched for; watched for nothing, it is out of the set
// and the wait does not return for it.
TEST(SocketWatcher, ASocketWatchedForNothingIsNotReportedEvenWhenHungUp) {
    SocketWatcher watcher;
    SocketPair pair;
    watcher.Watch(pair.ours.Get(), true, false);
    pair.theirs = SocketHandle();
    watcher.Wait(1000);
    EXPECT_TRUE(watcher.IsReadable(pair.ours.Get()));

    watcher.Forget(pair.ours.Get());
    EXPECT_EQ(watcher.Count(), 0u);
    EXPECT_FALSE(watcher.IsReadable(pair.ours.Get()));
    watcher.Wait(0);
    EXPECT_FALSE(Reported(watcher, pair.ours.Get()));
}

// The system hands a closed socket's number to the next socket; once forgotten before the close, or
// recorded as closed after it (the close took it out of the epoll set), the number is watched afresh
// for the new one.
TEST(SocketWatcher, ANumberLetGoAndReusedIsWatchedForTheNewSocket) {
    for (bool closedFirst : {false, true}) {
        SocketWatcher watcher;
        auto first = std::make_unique<SocketPair>();
        const int number = first->ours.Get();
        watcher.Watch(number, true, false);
        ASSERT_EQ(::write(first->theirs.Get(), "x", 1), 1);  // ready, for a set that still held it
        if (closedFirst) {
            first.reset();
            watcher.Closed(number);
        } else {
            watcher.Forget(number);
            first.reset();
        }
        EXPECT_EQ(watcher.Count(), 0u) << closedFirst;
        watcher.Wait(0);
        EXPECT_TRUE(watcher.ReadySockets().empty()) << closedFirst;

        SocketPair second;
        ASSERT_TRUE(second.ours.Get() == number || second.theirs.Get() == number);
        const int reused = second.ours.Get() == number ? second.ours.Get() : second.theirs.Get();
        const int peer = reused == second.ours.Get() ? second.theirs.Get() : second.ours.Get();
        watcher.Watch(reused, true, false);
        EXPECT_EQ(watcher.Count(), 1u) << closedFirst;
        watcher.Wait(0);
        EXPECT_FALSE(watcher.IsReadable(reused)) << closedFirst;
        ASSERT_EQ(::write(peer, "x", 1), 1);
        watcher.Wait(1000);
        EXPECT_TRUE(watcher.IsReadable(reused)) << closedFirst;
    }
}
