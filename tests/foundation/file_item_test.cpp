#include "foundation/file_item.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "support/temporary_folder.h"

namespace fs = std::filesystem;

TEST(FileItem, LooksPathsUpWithSizeTypeAndTime) {
    TemporaryFolder folder;
    std::ofstream(folder / "f") << "12345";
    fs::create_directory(folder / "d");
    fs::create_symlink(folder / "d", folder / "link");
    fs::create_symlink(folder / "none", folder / "dangling");

    FileItem file(FileLocation((folder / "f").c_str()));
    EXPECT_EQ(file.GetSize(), 5u);
    EXPECT_FALSE(file.IsDirectory());
    EXPECT_NEAR(static_cast<double>(file.GetLastWriteTime()),
                static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::system_clock::now().time_since_epoch())
                                        .count()),
                60e6);

    FileAttributes link(FileLocation((folder / "link").c_str()));
    EXPECT_TRUE(link.IsDirectory());
    EXPECT_TRUE(link.IsReparsePoint());
    EXPECT_FALSE(link.IsRealDirectory());
    FileAttributes dangling(FileLocation((folder / "dangling").c_str()));
    EXPECT_TRUE(dangling.Exists());
    EXPECT_TRUE(dangling.IsReparsePoint());
    EXPECT_FALSE(dangling.IsDirectory());
    EXPECT_FALSE(FileAttributes(FileLocation()).Exists());
    EXPECT_EQ(FileAttributes(FileLocation((folder / "missing").c_str())).Word(),
              PosixPlatform::kInvalidFileAttributes);

    FileItem item;
    EXPECT_FALSE(item.Lookup(FileLocation((folder / "missing").c_str())));
    EXPECT_THROW(item.RequireExists(), FileItemError);
    EXPECT_THROW(FileItem(FileLocation((folder / "missing").c_str())), FileItemError);
    EXPECT_TRUE(item.Lookup(FileLocation((folder / "d").c_str())));
    EXPECT_TRUE(item.IsDirectory());
}

TEST(FileItem, SetsTheLastWriteTime) {
    TemporaryFolder folder;
    std::ofstream(folder / "f") << "x";
    ::chmod((folder / "f").c_str(), 0444);
    FileLocation location((folder / "f").c_str());
    FileItem item(location);
    for (TimeValue time : {TimeValue(1'000'000'123'456), TimeValue(-1'500'000), TimeValue(0)}) {
        item.SetLastWriteTime(time);
        EXPECT_EQ(FileItem(location).GetLastWriteTime(), time);
    }
    FileItem gone;
    gone.Lookup(FileLocation((folder / "missing").c_str()));
    EXPECT_THROW(gone.SetLastWriteTime(0), FileItemError);
}

TEST(FileItem, TruncateToTwoSeconds) {
    EXPECT_EQ(TruncateToTwoSeconds(3'999'999), 2'000'000);
    EXPECT_EQ(TruncateToTwoSeconds(4'000'000), 4'000'000);
    EXPECT_EQ(TruncateToTwoSeconds(1'999'999), 0);
    EXPECT_EQ(TruncateToTwoSeconds(-1), -2'000'000);
}
