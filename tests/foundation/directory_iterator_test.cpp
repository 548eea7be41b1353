#include "foundation/directory_iterator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/event.h"
#include "platform/change_notification_handle.h"
#include "support/capturing_critical_log.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Scan(const std::string& folder, const char* pattern = nullptr) {
    std::vector<std::string> names;
    for (DirectoryScan scan(FileLocation(folder.c_str()), pattern); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        EXPECT_EQ(entry.GetLocation().GetPathString(), folder + "/" + entry.GetFileName().ToString());
        names.push_back(entry.GetFileName().ToString());
    }
    std::sort(names.begin(), names.end());
    return names;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(Wildcards, MatchLikeTheScansMatch) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.*", "noextension", true},
        {"*.log", "a.log", true},
        {"*.log", "a.LOG", true},
        {"*.log", "a.log.old", false},
        {"archive_*", "archive_", true},
        {"archive_*", "archive", false},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"*", "", true},
        {"*a*b*", "xxaxxbxx", true},
        {"*a*b", "ba", false},
        {"plugin_*", "Plugin_7", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
}

TEST(DirectoryScan, GivesEveryMatchingEntryWithItsFullPath) {
    TemporaryFolder folder;
    for (const char* name : {"a.log", "b.LOG", "c.txt", "noext"}) std::ofstream(folder / name) << name;
    fs::create_directory(folder / "sub.log");
    EXPECT_EQ(Scan(folder.Path()), (Names{"a.log", "b.LOG", "c.txt", "noext", "sub.log"}));
    EXPECT_EQ(Scan(folder.Path(), "*.log"), (Names{"a.log", "b.LOG", "sub.log"}));

    DirectoryScan scan(FileLocation(folder.Path().c_str()), "c.*");
    ASSERT_TRUE(scan.IsValid());
    EXPECT_EQ(scan.Current().GetSize(), 5u);
    EXPECT_FALSE(scan.Current().IsDirectory());
    DirectoryScan directories(FileLocation(folder.Path().c_str()), "sub*");
    ASSERT_TRUE(directories.IsValid());
    EXPECT_TRUE(directories.Current().IsDirectory());
}

TEST(DirectoryScan, EmptyMissingAndReopened) {
    TemporaryFolder folder;
    EXPECT_EQ(Scan(folder.Path()), Names{});
    EXPECT_EQ(Scan(folder / "missing"), Names{});
    std::ofstream(folder / "file") << "x";
    EXPECT_EQ(Scan(folder / "file"), Names{});

    fs::create_directory(folder / "other");
    std::ofstream(folder / "other/o") << "o";
    DirectoryIterator iterator;
    iterator.Open(FileLocation(folder.Path().c_str()));
    ASSERT_TRUE(iterator.IsValid());
    iterator.Open(FileLocation((folder / "other").c_str()));
    ASSERT_TRUE(iterator.IsValid());
    EXPECT_EQ(iterator.Current().GetFileName().ToString(), "o");
    iterator.Next();
    EXPECT_FALSE(iterator.IsValid());
    EXPECT_FALSE(DirectoryEntry().IsValid());
}

TEST(DirectoryScan, ForeignNamesAreSkippedAndLoggedOnce) {
    TemporaryFolder folder;
    std::ofstream(folder / "a:b") << "x";
    std::ofstream(folder / "ok") << "x";
    CapturingCriticalLog log;
    EXPECT_EQ(Scan(folder.Path()), Names{"ok"});
    EXPECT_EQ(Scan(folder.Path()), Names{"ok"});
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_NE(log.entries[0].find(folder / "a:b"), std::string::npos);
}

// A change notification is waited on together with the stop event.
TEST(DirectoryChange, WaitsTogetherWithAnEvent) {
    TemporaryFolder folder;
    ChangeNotificationHandle handle =
        StartChangeNotification(FileLocation(folder.Path().c_str()), false, kChangeNotifyFileName);
    Event stop;
    EXPECT_FALSE(stop.WaitWithHandle(handle.Descriptor(), 0));
    std::ofstream(folder / "new") << "x";
    EXPECT_TRUE(stop.WaitWithHandle(handle.Descriptor(), kWaitWithoutLimit));
    ContinueChangeNotification(handle);
    EXPECT_FALSE(stop.WaitWithHandle(handle.Descriptor(), 0));
    stop.Set();
    EXPECT_TRUE(stop.WaitWithHandle(handle.Descriptor(), kWaitWithoutLimit));
}
