#include "relay/download/directory_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "relay/download/download_files.h"
#include "relay/download/download_test_support.h"
#include "support/captured_log.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

constexpr std::int64_t kDay = kMicrosecondsPerDay;

// A file of `size` bytes whose last write lies `age` microseconds back.
void WriteAgedFile(const std::string& path, std::size_t size, std::int64_t age) {
    ::WriteAgedFile(path, std::string(size, 'x'), age);
}

class DirectoryCacheTest : public ::testing::Test {
  protected:
    TemporaryFolder m_folder;
    DirectoryCache m_cache{Location(m_folder / "cache")};
};

TEST_F(DirectoryCacheTest, MakesItsFolderAndRefusesAnUnsetOne) {
    EXPECT_TRUE(std::filesystem::is_directory(m_folder / "cache"));
    EXPECT_NO_THROW(DirectoryCache{Location(m_folder / "cache")});
    EXPECT_THROW(DirectoryCache{FileLocation()}, EmptyFileLocationError);
}

TEST_F(DirectoryCacheTest, NamesAFileBySha1InLowerCaseHex) {
    std::string hex;
    for (int i = 0; i < 20; ++i) hex += "ab";
    EXPECT_EQ(DirectoryCache::NameForSHA1(FilledDigest(0xAB)).ToString(), hex);
}

TEST_F(DirectoryCacheTest, MovesInReplacingAnEntryOfTheSameName) {
    WriteWholeFile(m_folder / "cache/f", "old");
    WriteWholeFile(m_folder / "new", "new");
    m_cache.MoveIn(Location(m_folder / "new"), FileName("f"));
    EXPECT_EQ(ReadWholeFile(m_folder / "cache/f"), "new");
    EXPECT_FALSE(std::filesystem::exists(m_folder / "new"));
    EXPECT_TRUE(m_cache.Contains(FileName("f")));
    EXPECT_FALSE(m_cache.Contains(FileName("g")));
}

TEST_F(DirectoryCacheTest, FindTouchesTheEntry) {
    WriteAgedFile(m_folder / "cache/f", 1, 3 * kDay);
    const std::optional<FileLocation> found = m_cache.Find(FileName("f"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->GetPathString(), m_folder / "cache/f");
    EXPECT_GT(FileItem(*found).GetLastWriteTime(), GetCurrentUTCTime() - 60 * kMicrosecondsPerSecond);
    EXPECT_FALSE(m_cache.Find(FileName("g")));
}

TEST_F(DirectoryCacheTest, ATouchThatFailsIsLoggedAndNotRaised) {
    CapturedLog log;
    DirectoryCache::Touch(Location(m_folder / "cache/missing"));
    EXPECT_EQ(log.LinesStartingWith("debug: DirectoryCache: Unable to set modification time for file: " +
                                    m_folder / "cache/missing")
                  .size(),
              1u);
}

// The sha1 and active-downloads folders of a cache, filled with aged files.
class PurgeTest : public ::testing::Test {
  protected:
    std::string Sha1(const std::string& name) const { return m_folder / "sha1/" + name; }
    std::string Active(const std::string& name) const { return m_folder / "active/" + name; }
    void Purge(std::uint64_t limit) {
        PurgeDirectoryCaches(Location(m_folder / "sha1"), Location(m_folder / "active"), limit, kDay);
    }

    TemporaryFolder m_folder;
    DirectoryCache m_sha1{Location(m_folder / "sha1")};
    DirectoryCache m_active{Location(m_folder / "active")};
};

// 1,500 units over a 1,024-unit limit (bytes for megabytes): the oldest go until 1,024 or less remain.
TEST_F(PurgeTest, DeletesTheOldestFilesDownToTheLimit) {
    for (int i = 0; i < 15; ++i) WriteAgedFile(Sha1("f" + std::to_string(i)), 100, (2 + i) * kDay);
    Purge(1024);
    std::set<std::string> kept;
    for (int i = 0; i < 10; ++i) kept.insert("f" + std::to_string(i));
    EXPECT_EQ(Names(m_folder / "sha1"), kept);
}

TEST_F(PurgeTest, KeepsEveryFileTouchedWithinTheMinimumAge) {
    for (int i = 0; i < 15; ++i)
        WriteAgedFile(Sha1("f" + std::to_string(i)), 100, kDay - 3600 * kMicrosecondsPerSecond);
    Purge(1024);
    EXPECT_EQ(Names(m_folder / "sha1").size(), 15u);
}

TEST_F(PurgeTest, StopsAtTheFirstFileYoungerThanTheMinimumAge) {
    WriteAgedFile(Sha1("old"), 100, 2 * kDay);
    WriteAgedFile(Sha1("young"), 100, kDay / 2);
    WriteAgedFile(Sha1("older"), 100, 3 * kDay);
    Purge(0);
    EXPECT_EQ(Names(m_folder / "sha1"), std::set<std::string>{"young"});
}

TEST_F(PurgeTest, CountsBothFoldersAsOneCacheAndLeavesSubfoldersAlone) {
    WriteAgedFile(Sha1("a"), 600, 4 * kDay);
    WriteAgedFile(Active("b"), 600, 3 * kDay);
    WriteAgedFile(Sha1("c"), 600, 2 * kDay);
    std::filesystem::create_directory(m_folder / "sha1/sub");
    WriteAgedFile(Sha1("sub/d"), 5000, 9 * kDay);
    Purge(1024);
    // 1,800 bytes in the two folders; the subfolder's file counts for nothing and stays.
    EXPECT_EQ(Names(m_folder / "sha1"), (std::set<std::string>{"c", "sub"}));
    EXPECT_TRUE(Names(m_folder / "active").empty());
    EXPECT_TRUE(std::filesystem::exists(Sha1("sub/d")));
}

}  // namespace
