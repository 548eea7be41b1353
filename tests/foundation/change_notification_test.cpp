#include "foundation/change_notification.h"

#include <gtest/gtest.h>

#include <fstream>

#include "foundation/event.h"
#include "platform/system_error.h"
#include "support/temporary_folder.h"

TEST(ChangeNotification, PollAnswersOncePerBatchOfChanges) {
    TemporaryFolder folder;
    ChangeNotification notification(FileLocation(folder.Path().c_str()));
    EXPECT_FALSE(notification.Poll());

    std::ofstream(folder / "first") << "x";
    std::ofstream(folder / "second") << "y";
    EXPECT_TRUE(notification.Poll());
    EXPECT_FALSE(notification.Poll()) << "the batch was taken and the watch re-armed";

    std::ofstream(folder / "first", std::ios::app) << "more";
    EXPECT_TRUE(notification.Poll());
    EXPECT_FALSE(notification.Poll());
}

TEST(ChangeNotification, WaitsTogetherWithAnEvent) {
    TemporaryFolder folder;
    ChangeNotification notification(FileLocation(folder.Path().c_str()));
    Event stop;
    EXPECT_FALSE(stop.WaitWithHandle(notification.Descriptor(), 0));
    std::ofstream(folder / "new") << "x";
    EXPECT_TRUE(stop.WaitWithHandle(notification.Descriptor(), kWaitWithoutLimit));
    EXPECT_TRUE(notification.Poll());
}

TEST(ChangeNotification, MissingDirectoryCannotBeWatched) {
    TemporaryFolder folder;
    EXPECT_THROW(ChangeNotification(FileLocation((folder / "missing").c_str())), Posix::Error);
}
