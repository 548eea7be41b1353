#include "foundation/locked_counters.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "foundation/file_item.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

class BufferDirectory : public ::testing::Test {
  protected:
    FileLocation Location() const { return FileLocation(m_folder.Path().c_str()); }
    void AddFile(const std::string& name, std::size_t size) { WriteWholeFile(m_folder / name, std::string(size, 'x')); }

    TemporaryFolder m_folder;
};

TEST_F(BufferDirectory, CountsEntriesTheirSizesAndUnderscoredNames) {
    AddFile("a.txt", 100);
    AddFile("_pending", 20);
    AddFile("Index.txt", 3);
    std::filesystem::create_directory(m_folder / "_sub");
    // A subdirectory counts by its own size, whatever it holds.
    const std::uint64_t folderSize = FileItem(FileLocation((m_folder / "_sub").c_str())).GetSize();
    LockedCounters counters;
    EXPECT_FALSE(counters.IsOverLimits(Location(), 4, 1'000'000));
    EXPECT_EQ(counters.GetFileCount(), 4u);
    EXPECT_EQ(counters.GetTotalBytes(), 123u + folderSize);
    EXPECT_EQ(counters.GetUnderscoreCount(), 2u);
}

TEST_F(BufferDirectory, TheLimitsAreExceededOnlyWhenPassed) {
    for (int file = 0; file < 3; ++file) AddFile("f" + std::to_string(file), 10);
    const struct {
        std::uint64_t maxCount;
        std::uint64_t maxBytes;
        bool over;
    } cases[] = {{3, 30, false}, {2, 30, true}, {3, 29, true}, {10'000, 3'145'728, false}};
    for (const auto& c : cases) {
        LockedCounters counters;
        EXPECT_EQ(counters.IsOverLimits(Location(), c.maxCount, c.maxBytes), c.over) << c.maxCount << " " << c.maxBytes;
    }
}

TEST_F(BufferDirectory, ASecondDirectoryCountsIntoTheSameTotals) {
    TemporaryFolder second;
    AddFile("one", 5);
    WriteWholeFile(second / "_two", "xx");
    LockedCounters counters;
    EXPECT_TRUE(counters.IsOverLimits(Location(), FileLocation(second.Path().c_str()), 1, 100));
    EXPECT_EQ(counters.GetFileCount(), 2u);
    EXPECT_EQ(counters.GetTotalBytes(), 7u);
    EXPECT_EQ(counters.GetUnderscoreCount(), 1u);
}

TEST_F(BufferDirectory, AMissingDirectoryCountsAsEmpty) {
    LockedCounters counters;
    EXPECT_FALSE(counters.IsOverLimits(FileLocation((m_folder / "missing").c_str()), 0, 0));
    EXPECT_EQ(counters.GetFileCount(), 0u);
}

TEST_F(BufferDirectory, CountsAtMostOnceEveryFiveSeconds) {
    AddFile("first", 1);
    LockedCounters counters;
    EXPECT_FALSE(counters.IsOverLimits(Location(), 1, 100));
    AddFile("second", 1);
    EXPECT_FALSE(counters.IsOverLimits(Location(), 1, 100)) << "counted again within five seconds";
    EXPECT_EQ(counters.GetFileCount(), 1u);
    std::this_thread::sleep_for(std::chrono::microseconds(LockedCounters::kRefreshPeriod + 100'000));
    EXPECT_TRUE(counters.IsOverLimits(Location(), 1, 100));
    EXPECT_EQ(counters.GetFileCount(), 2u);
}

}  // namespace
