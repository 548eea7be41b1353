#include "foundation/file_operations.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/whole_file.h"
#include "support/temporary_folder.h"

namespace {

namespace fs = std::filesystem;

class FileOperations : public ::testing::Test {
  protected:
    FileLocation At(const std::string& name) { return FileLocation((m_folder / name).c_str()); }
    FileLocation Write(const std::string& name, const std::string& content) {
        std::ofstream(m_folder / name, std::ios::binary) << content;
        return At(name);
    }
    std::string Read(const std::string& name) { return ReadFileText(At(name)); }
    bool Exists(const std::string& name) { return fs::exists(fs::symlink_status(m_folder / name)); }
    unsigned Mode(const std::string& name) {
        struct stat status;
        return ::stat((m_folder / name).c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    }
    auto FileTimeInMicroseconds(const std::string& name) {
        return std::chrono::floor<std::chrono::microseconds>(
            fs::last_write_time(m_folder / name).time_since_epoch());
    }
    // Names in the folder other than the ones a test made: what an operation left behind.
    int CountEntries() {
        return static_cast<int>(std::distance(fs::directory_iterator(m_folder.Path()), {}));
    }

    TemporaryFolder m_folder;
};

}  // namespace

TEST_F(FileOperations, MoveNeverReplaces) {
    Write("a", "A");
    Write("b", "B");
    EXPECT_THROW(MovePath(At("a"), At("b")), FileFoundError);
    EXPECT_EQ(Read("a"), "A");
    EXPECT_EQ(Read("b"), "B");

    MovePath(At("a"), At("c"));
    EXPECT_FALSE(Exists("a"));
    EXPECT_EQ(Read("c"), "A");

    EXPECT_THROW(MovePath(At("missing"), At("d")), FileNotFoundError);
    EXPECT_THROW(MovePath(At("c"), At("no/d")), FileMoveError);
    EXPECT_THROW(MovePath(FileLocation(), At("d")), FileMoveError);

    fs::create_directory(m_folder / "dir");
    MovePath(At("dir"), At("moved"));
    EXPECT_TRUE(fs::is_directory(m_folder / "moved"));
}

TEST_F(FileOperations, ReadOnlyFilesAreMovedWithTheirModeAndRemoved) {
    Write("ro", "x");
    ::chmod((m_folder / "ro").c_str(), 0444);
    EXPECT_TRUE(FileAttributes(At("ro")).IsReadOnly());
    MovePath(At("ro"), At("ro2"));
    EXPECT_EQ(Mode("ro2"), 0444u);
    RemoveFile(At("ro2"));
    EXPECT_FALSE(Exists("ro2"));
}

TEST_F(FileOperations, ReplaceIsOneAtomicStep) {
    Write("new", "new content");
    Write("target", "old");
    ::chmod((m_folder / "new").c_str(), 0640);
    ReplacePath(At("new"), At("target"));
    EXPECT_EQ(Read("target"), "new content");
    EXPECT_EQ(Mode("target"), 0640u);
    EXPECT_FALSE(Exists("new"));

    Write("new", "x");
    fs::create_directory(m_folder / "dir");
    EXPECT_THROW(ReplacePath(At("new"), At("dir")), DirectoryFoundError);
    EXPECT_EQ(Read("new"), "x");
    EXPECT_TRUE(fs::is_directory(m_folder / "dir"));
    EXPECT_THROW(ReplacePath(At("missing"), At("target")), FileNotFoundError);
    EXPECT_THROW(ReplacePath(At("new"), FileLocation()), EmptyFileLocationError);
}

TEST_F(FileOperations, CopiesLandCompleteOrNotAtAll) {
    std::string content(100000, 'c');
    Write("src", content);
    ::chmod((m_folder / "src").c_str(), 0640);
    CopyNewFile(At("src"), At("copy"));
    EXPECT_EQ(Read("copy"), content);
    EXPECT_EQ(Mode("copy"), 0640u);
    EXPECT_EQ(FileTimeInMicroseconds("copy"), FileTimeInMicroseconds("src"));

    EXPECT_THROW(CopyNewFile(At("src"), At("copy")), FileFoundError);
    EXPECT_THROW(CopyNewFile(At("missing"), At("other")), FileNotFoundError);
    fs::create_directory(m_folder / "dir");
    EXPECT_THROW(CopyNewFile(At("dir"), At("other")), FileCopyError);
    EXPECT_THROW(CopyNewFile(At("src"), At("no/other")), FileCopyError);

    Write("target", "old");
    ::chmod((m_folder / "target").c_str(), 0444);
    CopyPath(At("src"), At("target"));
    EXPECT_EQ(Read("target"), content);
    EXPECT_THROW(CopyPath(At("missing"), At("target")), FileCopyError);
    EXPECT_EQ(Read("target"), content);
    EXPECT_EQ(CountEntries(), 4);  // src, copy, dir, target: no temporary file left
}

TEST_F(FileOperations, Removals) {
    EXPECT_NO_THROW(RemoveFileOrEmptyDirectory(At("missing")));
    EXPECT_THROW(RemoveFile(At("missing")), FileNotFoundError);
    EXPECT_THROW(RemovePath(FileLocation()), EmptyFileLocationError);
    fs::create_directory(m_folder / "dir");
    Write("dir/f", "x");
    EXPECT_THROW(RemoveFile(At("dir")), FileNotFoundError);
    EXPECT_THROW(RemoveEmptyDirectory(At("dir/f")), DirectoryNotFoundError);
    EXPECT_THROW(RemoveEmptyDirectory(At("dir")), FileIOError);
    RemoveFileOrEmptyDirectory(At("dir/f"));
    RemoveFileOrEmptyDirectory(At("dir"));
    EXPECT_EQ(CountEntries(), 0);
}

TEST_F(FileOperations, TreeRemovalDeletesLinksNeverWhatTheyPointAt) {
    fs::create_directories(m_folder / "outside/keep");
    Write("outside/keep/precious", "p");
    fs::create_directories(m_folder / "tree/a/b");
    Write("tree/a/b/f", "f");
    Write("tree/top", "t");
    fs::create_directory_symlink(m_folder / "outside", m_folder / "tree/a/link-to-dir");
    fs::create_symlink(m_folder / "outside/keep/precious", m_folder / "tree/link-to-file");
    fs::create_symlink(m_folder / "nowhere", m_folder / "tree/dangling");

    RemoveDirectoryTree(At("tree"));
    EXPECT_FALSE(Exists("tree"));
    EXPECT_EQ(Read("outside/keep/precious"), "p");

    fs::create_directory_symlink(m_folder / "outside", m_folder / "top-link");
    RemoveDirectoryTree(At("top-link"));
    EXPECT_FALSE(Exists("top-link"));
    EXPECT_EQ(Read("outside/keep/precious"), "p");
    EXPECT_THROW(RemoveDirectoryContents(At("missing")), DirectoryNotFoundError);
}

TEST_F(FileOperations, TreeRemovalLeavesForeignNamesAndFailsOnTheirFolder) {
    fs::create_directories(m_folder / "tree/sub");
    Write("tree/sub/a:b", "foreign");
    Write("tree/sub/ok", "ok");
    Write("tree/other", "o");
    EXPECT_THROW(RemoveDirectoryTree(At("tree")), FileIOError);
    EXPECT_TRUE(Exists("tree/sub/a:b"));
    EXPECT_FALSE(Exists("tree/sub/ok"));
}

TEST_F(FileOperations, DirectoryCreation) {
    CreateDirectoryTree(At("a/b/c"));
    EXPECT_TRUE(fs::is_directory(m_folder / "a/b/c"));
    CreateDirectoryTree(At("a/b/c"));
    Write("a/file", "x");
    EXPECT_THROW(CreateDirectoryTree(At("a/file")), FileFoundError);
    EXPECT_THROW(CreateDirectoryTree(At("a/file/d")), FileIOError);
    EXPECT_THROW(CreateDirectoryIfMissing(At("a/file")), DirectoryNotFoundError);
    EXPECT_THROW(CreateDirectoryIfMissing(At("x/y")), DirectoryNotFoundError);
    EXPECT_THROW(CreateDirectoryChecked(FileLocation()), EmptyFileLocationError);
    CreateDirectoryIfMissing(At("a/d"));
    EXPECT_TRUE(fs::is_directory(m_folder / "a/d"));

    CreateEmptyFile(At("empty"));
    EXPECT_EQ(Read("empty"), "");
    EXPECT_THROW(CreateEmptyFile(At("empty")), FileExists);
    EXPECT_THROW(CreateEmptyFile(At("no/empty")), FileCreateFailed);
}

TEST_F(FileOperations, CopyDirectoryTreeSkipsLinkedDirectories) {
    fs::create_directories(m_folder / "from/sub/deeper");
    Write("from/top", "t");
    Write("from/sub/deeper/f", "f");
    fs::create_directory_symlink(m_folder / "from/sub", m_folder / "from/loop");
    CopyDirectoryTree(At("from"), At("to/inner"));
    EXPECT_EQ(Read("to/inner/top"), "t");
    EXPECT_EQ(Read("to/inner/sub/deeper/f"), "f");
    EXPECT_FALSE(Exists("to/inner/loop"));
    EXPECT_THROW(CopyDirectoryTree(At("from"), At("to/inner")), FileFoundError);
    EXPECT_THROW(CopyDirectoryTree(At("missing"), At("x")), DirectoryNotFoundError);

    Write("from/sub/deeper/f", "newer");
    CopyDirectoryTree(At("from"), At("to/inner"), ExistingFiles::Replace);
    EXPECT_EQ(Read("to/inner/sub/deeper/f"), "newer");
}

// Moving and replacing across file systems copies; this needs a second file system (/dev/shm).
TEST_F(FileOperations, AcrossFileSystemsMovesAndReplacesStillWork) {
    struct stat here, shm;
    if (::stat("/dev/shm", &shm) != 0 || ::stat(m_folder.Path().c_str(), &here) != 0 ||
        shm.st_dev == here.st_dev || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    }
    FileLocation elsewhere("/dev/shm");
    FileLocation source = ChildFileLocation(elsewhere, ("kvr-test-" + std::to_string(::getpid())).c_str());
    WriteWholeFile(ConstData(std::string_view("moved")), source);
    MovePath(source, At("moved"));
    EXPECT_EQ(Read("moved"), "moved");
    EXPECT_FALSE(FileAttributes(source).Exists());

    WriteWholeFile(ConstData(std::string_view("replaced")), source);
    Write("target", "old");
    ReplacePath(source, At("target"));
    EXPECT_EQ(Read("target"), "replaced");
    EXPECT_FALSE(FileAttributes(source).Exists());
    EXPECT_EQ(CountEntries(), 2);
}
