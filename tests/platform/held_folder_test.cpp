#include "platform/held_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/file_errors.h"
#include "platform/file_paths.h"
#include "support/temporary_folder.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class HeldFolderTest : public ::testing::Test {
  protected:
    HeldFolderTest() : m_root(m_folder / "root"), m_held(FileLocation(m_root.c_str())) {
        std::filesystem::create_directory(m_root);
    }

    // The text of "f" beneath the root, opened through the held folder.
    std::string ReadF() { return ReadF(m_held); }
    std::string ReadF(PosixPlatform::HeldFolder& held) {
        PosixPlatform::FileReadingPath path;
        path.OpenBeneath(held, FileLocation((m_root + "/f").c_str()));
        std::string bytes(64, '\0');
        bytes.resize(path.ReadAt(0, reinterpret_cast<Byte*>(bytes.data()), bytes.size()));
        return bytes;
    }

    TemporaryFolder m_folder;
    std::string m_root;
    PosixPlatform::HeldFolder m_held;
};

}  // namespace

TEST_F(HeldFolderTest, KeepsTheFolderOpenWhileThePathNamesIt) {
    WriteText(m_root + "/f", "one");
    const int first = m_held.Current();
    EXPECT_EQ(ReadF(), "one");
    WriteText(m_root + "/f", "two");
    EXPECT_EQ(ReadF(), "two");
    EXPECT_EQ(m_held.Current(), first);
}

// Whatever the path names at the time of the open is what is opened beneath: as if the root were
// opened anew each time.
TEST_F(HeldFolderTest, FollowsAFolderReplacedRenamedOrRemoved) {
    WriteText(m_root + "/f", "old");
    EXPECT_EQ(ReadF(), "old");

    std::filesystem::rename(m_root, m_folder / "old-root");
    EXPECT_THROW(ReadF(), FileNotFoundError);
    std::filesystem::create_directory(m_root);
    WriteText(m_root + "/f", "new");
    EXPECT_EQ(ReadF(), "new");

    std::filesystem::create_directory(m_folder / "elsewhere");
    WriteText(m_folder / "elsewhere/f", "linked");
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directory_symlink(m_folder / "elsewhere", m_root);
    EXPECT_EQ(ReadF(), "linked");

    std::filesystem::remove(m_root);
    WriteText(m_root, "a file where the folder was");
    EXPECT_THROW(m_held.Current(), DirectoryNotFoundError);
    std::filesystem::remove(m_root);
    EXPECT_THROW(m_held.Current(), FileNotFoundError);
}

// With a recheck period the path is looked up again only once the period has passed.
TEST_F(HeldFolderTest, WithARecheckPeriodAReplacedFolderIsFollowedOnlyAfterIt) {
    PosixPlatform::HeldFolder held(FileLocation(m_root.c_str()), std::chrono::seconds(1));
    WriteText(m_root + "/f", "old");
    EXPECT_EQ(ReadF(held), "old");
    std::filesystem::rename(m_root, m_folder / "old-root");
    std::filesystem::create_directory(m_root);
    WriteText(m_root + "/f", "new");
    EXPECT_EQ(ReadF(held), "old");  // well within the period: the folder held still serves
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(ReadF(held), "new");
}

TEST(HeldFolder, AnEmptyLocationHoldsNothing) {
    PosixPlatform::HeldFolder held{FileLocation()};
    EXPECT_THROW(held.Current(), EmptyFileLocationError);
}
