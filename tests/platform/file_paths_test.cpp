#include "platform/file_paths.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "support/temporary_folder.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadAt(const PosixPlatform::FileReadingPath& path, std::uint64_t position, std::size_t count) {
    std::string bytes(count, '\0');
    bytes.resize(path.ReadAt(position, reinterpret_cast<Byte*>(bytes.data()), count));
    return bytes;
}

class OpenFiles : public ::testing::Test {
  protected:
    FileLocation At(const char* name) { return FileLocation((m_folder / name).c_str()); }
    TemporaryFolder m_folder;
};

}  // namespace

TEST_F(OpenFiles, ReadsAtIndependentPositions) {
    WriteText(m_folder / "f", "0123456789");
    PosixPlatform::FileReadingPath path(At("f"));
    EXPECT_EQ(path.GetSize(), 10u);
    EXPECT_EQ(ReadAt(path, 7, 10), "789");
    EXPECT_EQ(ReadAt(path, 2, 3), "234");
    EXPECT_EQ(ReadAt(path, 10, 4), "");
}

TEST_F(OpenFiles, DirectoriesAndFifosAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((m_folder / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((m_folder / "dir").c_str(), 0700), 0);
    for (const char* name : {"fifo", "dir"}) {
        try {
            PosixPlatform::FileReadingPath path(At(name));
            ADD_FAILURE() << name << " was opened";
        } catch (const FilePermissionError& error) {
            EXPECT_EQ(error.Code(), EACCES) << name;
        }
        PosixPlatform::FileWritingPath writing;
        EXPECT_THROW(writing.OpenAlways(At(name)), FilePermissionError) << name;
    }
}

TEST_F(OpenFiles, MissingFilesAndFoldersAreTheirKinds) {
    EXPECT_THROW(PosixPlatform::FileReadingPath(At("missing")), FileNotFoundError);
    EXPECT_THROW(PosixPlatform::FileReadingPath(At("no/missing")), DirectoryNotFoundError);
    EXPECT_THROW(PosixPlatform::FileReadingPath{FileLocation()}, EmptyFileLocationError);
    PosixPlatform::FileWritingPath writing;
    EXPECT_THROW(writing.Open(At("missing")), FileNotFoundError);
}

// The server's link cases run through the server (file_serving_test.cpp); here the contract itself.
TEST_F(OpenFiles, OpeningBeneathARootTakesOnlyLocationsBelowItAndNamesWhereALinkLedOut) {
    TemporaryFolder outside;
    WriteText(m_folder / "f", "inside");
    WriteText(outside / "g", "outside");
    ASSERT_EQ(::symlink((outside / "g").c_str(), (m_folder / "out").c_str()), 0);
    PosixPlatform::HeldFolder root(FileLocation(m_folder.Path().c_str()));
    PosixPlatform::HeldFolder systemRoot(FileLocation("/"));
    PosixPlatform::FileReadingPath path;

    path.OpenBeneath(root, At("f"));
    EXPECT_EQ(ReadAt(path, 0, 10), "inside");
    path.OpenBeneath(systemRoot, At("f"));
    EXPECT_EQ(ReadAt(path, 0, 10), "inside");
    EXPECT_THROW(path.OpenBeneath(root, FileLocation((outside / "g").c_str())), InvalidFileLocation);
    EXPECT_THROW(path.OpenBeneath(root, FileLocation((m_folder.Path() + "x/f").c_str())),
                 InvalidFileLocation);
    EXPECT_THROW(path.OpenBeneath(root, root.GetLocation()), FilePermissionError);  // a folder, as with Open
    try {
        path.OpenBeneath(root, At("out"));
        ADD_FAILURE() << "a link out of the root was followed";
    } catch (const PathOutsideRootError& error) {
        EXPECT_EQ(error.FirstPath(), m_folder / "out");
        EXPECT_TRUE(error.SecondPath().ends_with("/g")) << error.SecondPath();
    }
    EXPECT_FALSE(path.IsOpen());
}

TEST_F(OpenFiles, WritingDispositions) {
    WriteText(m_folder / "f", "old content");
    PosixPlatform::FileWritingPath writing;
    writing.OpenAlways(At("f"));
    EXPECT_EQ(writing.GetSize(), 11u);
    writing.OpenCreateAlways(At("f"));
    EXPECT_EQ(writing.GetSize(), 0u);
    EXPECT_THROW(writing.OpenCreateNew(At("f")), FileExists);
    EXPECT_FALSE(writing.IsOpen());
    writing.OpenCreateNew(At("new"));
    EXPECT_EQ(writing.GetSize(), 0u);
}

TEST_F(OpenFiles, WritesLengthsAndCopies) {
    PosixPlatform::FileWritingPath writing(At("f"));
    std::string text = "hello world";
    writing.WriteAt(6, reinterpret_cast<const Byte*>(text.data()),
                    reinterpret_cast<const Byte*>(text.data()) + 5);
    writing.WriteAt(0, reinterpret_cast<const Byte*>(text.data()),
                    reinterpret_cast<const Byte*>(text.data()) + 5);
    EXPECT_EQ(ReadAt(writing, 0, 20), std::string("hello\0hello", 11));
    writing.SetLength(5);
    EXPECT_EQ(writing.GetSize(), 5u);
    writing.Flush();

    PosixPlatform::FileWritingPath copy(At("copy"));
    writing.CopyContentTo(copy);
    EXPECT_EQ(ReadAt(copy, 0, 20), "hello");
    EXPECT_THROW(writing.SetLength(std::uint64_t(1) << 63), FileSeekError);
}

TEST_F(OpenFiles, DescriptorsAreClosedOnExec) {
    WriteText(m_folder / "f", "x");
    PosixPlatform::FileReadingPath path(At("f"));
    int found = 0;
    for (int descriptor = 3; descriptor < 1024; ++descriptor) {
        char target[512] = {};
        std::string link = "/proc/self/fd/" + std::to_string(descriptor);
        if (::readlink(link.c_str(), target, sizeof target - 1) <= 0 || target != m_folder / "f") continue;
        EXPECT_TRUE(::fcntl(descriptor, F_GETFD) & FD_CLOEXEC);
        ++found;
    }
    EXPECT_EQ(found, 1);
}
