#include "platform/change_notification_handle.h"

#include <gtest/gtest.h>
#include <poll.h>

#include <filesystem>
#include <fstream>

#include "platform/system_error.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;

// Whether the handle is signalled, waiting at most `milliseconds`.
bool Signalled(const ChangeNotificationHandle& handle, int milliseconds = 0) {
    pollfd watched{handle.Descriptor(), POLLIN, 0};
    return ::poll(&watched, 1, milliseconds) == 1;
}

constexpr int kChangeArrives = 5000;  // ms; a bound for slow machines, met at once normally

}  // namespace

TEST(ChangeNotification, SignalsOnceForChangesAndRearms) {
    TemporaryFolder folder;
    ChangeNotificationHandle handle = StartChangeNotification(FileLocation(folder.Path().c_str()), false,
                                                              kChangeNotifyFileName | kChangeNotifySize);
    EXPECT_FALSE(Signalled(handle));
    std::ofstream(folder / "a") << "x";
    std::ofstream(folder / "b") << "y";
    EXPECT_TRUE(Signalled(handle, kChangeArrives));
    ContinueChangeNotification(handle);
    EXPECT_FALSE(Signalled(handle));
    fs::remove(folder / "a");
    EXPECT_TRUE(Signalled(handle, kChangeArrives));
}

TEST(ChangeNotification, FilterDecidesWhatSignals) {
    TemporaryFolder folder;
    std::ofstream(folder / "a") << "x";
    ChangeNotificationHandle handle =
        StartChangeNotification(FileLocation(folder.Path().c_str()), false, kChangeNotifyFileName);
    fs::permissions(folder / "a", fs::perms::owner_read);
    EXPECT_FALSE(Signalled(handle, 50));
    fs::rename(folder / "a", folder / "b");
    EXPECT_TRUE(Signalled(handle, kChangeArrives));
}

TEST(ChangeNotification, SubtreeWatchFollowsNewDirectories) {
    TemporaryFolder folder;
    fs::create_directories(folder / "old/deep");
    ChangeNotificationHandle handle =
        StartChangeNotification(FileLocation(folder.Path().c_str()), true, kChangeNotifySize);
    std::ofstream(folder / "old/deep/f") << "x";
    EXPECT_TRUE(Signalled(handle, kChangeArrives));
    ContinueChangeNotification(handle);

    fs::create_directory(folder / "new");
    ASSERT_TRUE(Signalled(handle, kChangeArrives));
    ContinueChangeNotification(handle);
    std::ofstream(folder / "new/f") << "x";
    EXPECT_TRUE(Signalled(handle, kChangeArrives));
}

TEST(ChangeNotification, MissingDirectoryOrFileIsRefused) {
    TemporaryFolder folder;
    std::ofstream(folder / "file") << "x";
    EXPECT_THROW(
        StartChangeNotification(FileLocation((folder / "missing").c_str()), false, kChangeNotifyFileName),
        Posix::Error);
    EXPECT_THROW(
        StartChangeNotification(FileLocation((folder / "file").c_str()), false, kChangeNotifyFileName),
        Posix::Error);
    EXPECT_FALSE(ChangeNotificationHandle().IsValid());
}
