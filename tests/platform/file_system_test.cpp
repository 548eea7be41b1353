#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;

using Rename = int (*)(const FileLocation&, const FileLocation&);

}  // namespace

// The kernel's RENAME_NOREPLACE and the fallback for file systems without it behave alike.
TEST(RenameNoReplace, NeverReplacesWithOrWithoutKernelSupport) {
    for (Rename rename : {&PosixPlatform::RenameNoReplace, &PosixPlatform::RenameNoReplaceByTakingTheName}) {
        TemporaryFolder folder;
        auto at = [&](const char* name) { return FileLocation((folder / name).c_str()); };
        std::ofstream(folder / "a") << "A";
        std::ofstream(folder / "b") << "B";
        fs::create_directories(folder / "dir/inner");
        fs::create_directory(folder / "other-dir");
        fs::create_symlink(folder / "dir", folder / "link");

        EXPECT_EQ(rename(at("a"), at("b")), EEXIST);
        EXPECT_EQ(rename(at("dir"), at("other-dir")), EEXIST);
        EXPECT_EQ(rename(at("dir"), at("b")), EEXIST);
        EXPECT_EQ(rename(at("missing"), at("c")), ENOENT);
        EXPECT_EQ(rename(at("a"), at("c")), 0);
        EXPECT_EQ(rename(at("dir"), at("moved-dir")), 0);
        EXPECT_EQ(rename(at("link"), at("moved-link")), 0);

        EXPECT_FALSE(fs::exists(folder / "a"));
        std::ifstream moved(folder / "c");
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(moved), {}), "A");
        EXPECT_TRUE(fs::is_directory(folder / "moved-dir/inner"));
        EXPECT_TRUE(fs::is_symlink(folder / "moved-link"));
        EXPECT_TRUE(fs::is_empty(folder / "other-dir"));
    }
}

TEST(LookUpPath, DescribesLinksByWhatTheyPointAt) {
    TemporaryFolder folder;
    std::ofstream(folder / "f") << "12345";
    fs::create_symlink(folder / "f", folder / "link");
    PosixPlatform::PathStatus status;
    ASSERT_EQ(PosixPlatform::LookUpPath((folder / "link").c_str(), status), 0);
    EXPECT_EQ(status.size, 5u);
    EXPECT_TRUE(status.Is(PosixPlatform::kFileAttributeReparsePoint));
    EXPECT_FALSE(status.Is(PosixPlatform::kFileAttributeDirectory));
    EXPECT_EQ(PosixPlatform::LookUpPath((folder / "missing").c_str(), status), ENOENT);
    EXPECT_FALSE(status.Exists());
}
