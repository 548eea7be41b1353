#include "crypto/site_archive_unpacker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "base/const_data_reader.h"
#include "crypto/openssl_startup.h"
#include "formats/file_list_reader.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

const std::vector<SiteFile> kVersion1 = {
    {"changed.txt", "the first text of a file that changes in its middle", 100},
    {"kept.txt", "unchanged", 200},
    {"removed.txt", "gone in version 2", 300},
};
const std::vector<SiteFile> kVersion2 = {
    {"added.bin", std::string("\0new\xff", 5), 400},
    {"changed.txt", "the first text of a file that was changed in its middle", 500},
    {"kept.txt", "unchanged", 600},
};

// The files of a folder: name -> content.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const SiteFile& file : ReadSiteTree(folder)) contents[file.name] = file.content;
    return contents;
}

std::map<std::string, std::string> Contents(const std::vector<SiteFile>& files) {
    std::map<std::string, std::string> contents;
    for (const SiteFile& file : files) contents[file.name] = file.content;
    return contents;
}

// An old and a new site directory and the new version's list.
class SiteArchiveUnpackerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    SiteArchiveUnpackerTest() {
        WriteSiteTree(OldFolder(), kVersion1);
        std::filesystem::create_directories(NewFolder());
        ReadFileListBytes(ConstData(std::string_view(FileListForFiles(kVersion2, {}))), 0, m_list);
    }

    std::string OldFolder() const { return m_folder / "old"; }
    std::string NewFolder() const { return m_folder / "new"; }

    // Unpacks archive bytes; an update when `withOld`.
    void Unpack(const std::string& archive, bool withOld = true) {
        ConstDataReader reader((ConstData(std::string_view(archive))));
        const OptionalFileLocation old =
            withOld ? OptionalFileLocation(FileLocation(OldFolder().c_str())) : std::nullopt;
        UnpackSiteArchive(reader, old, FileLocation(NewFolder().c_str()), m_list);
    }

    TemporaryFolder m_folder;
    STDFileList m_list;
};

}  // namespace

TEST_F(SiteArchiveUnpackerTest, AnUpdateArchiveAndTheOldFilesMakeTheNewVersion) {
    WriteFileBytes(m_folder / "update", UpdateArchiveBytes(kVersion1, kVersion2));
    ApplyUpdateArchive(FileLocation((m_folder / "update").c_str()), FileLocation(OldFolder().c_str()),
                       FileLocation(NewFolder().c_str()), m_list);
    const std::vector<SiteFile> unpacked = ReadSiteTree(NewFolder());
    EXPECT_EQ(Contents(unpacked), Contents(kVersion2));
    for (const SiteFile& file : unpacked) {
        SCOPED_TRACE(file.name);
        EXPECT_EQ(file.modified * kMicrosecondsPerSecond, m_list.Find(file.name)->modified);
    }
    EXPECT_EQ(Contents(OldFolder()), Contents(kVersion1));
}

TEST_F(SiteArchiveUnpackerTest, AFullSiteArchiveStandsAlone) {
    WriteFileBytes(m_folder / "full", FullSiteArchiveBytes(kVersion2));
    UnpackFullSiteArchive(FileLocation((m_folder / "full").c_str()), FileLocation(NewFolder().c_str()), m_list);
    EXPECT_EQ(Contents(NewFolder()), Contents(kVersion2));
}

TEST_F(SiteArchiveUnpackerTest, MembersTheListDoesNotVouchForWriteNothing) {
    WriteFileBytes(NewFolder() + "/__sdirlist", "the relay's own list");
    const std::string added = kVersion2[0].content;
    const std::vector<ArchiveMember> members = {
        {"", "empty name", 0},
        {"..", "parent", 0},
        {".", "self", 0},
        {"x/../__sdirlist", "replaced list", 0},
        {"__fullsite", "unlisted", 0},
        {"dir/", "", 0},
        {"added.bin/", "", 0},
        {"kept.txt", "unchanged but one byte longer", 0},
        {"kept.txt", "unchangeD", 0},  // the right size, the wrong digest
        {"__dif_added.bin", DifferenceBytes("", added), 0},  // no old copy to apply it to
        {"sub\\folder/added.bin", added, 0},
    };
    Unpack(SiteArchiveBytes(members), false);
    EXPECT_EQ(Contents(NewFolder()),
              (std::map<std::string, std::string>{{"__sdirlist", "the relay's own list"}, {"added.bin", added}}));
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(NewFolder()), {}), 2)
        << "no directory or temporary file either";
}

TEST_F(SiteArchiveUnpackerTest, UnchangedFilesAreCopiedOnlyWhenTheirSizeFits) {
    WriteFileBytes(OldFolder() + "/kept.txt", "resized");
    Unpack(SiteArchiveBytes({}));
    EXPECT_EQ(Contents(NewFolder()), (std::map<std::string, std::string>{}));

    WriteSiteTree(OldFolder(), kVersion1);
    WriteFileBytes(NewFolder() + "/kept.txt", "already");
    Unpack(SiteArchiveBytes({}));
    EXPECT_EQ(Contents(NewFolder()), (std::map<std::string, std::string>{{"kept.txt", "already"}}));
}

TEST_F(SiteArchiveUnpackerTest, MalformedArchivesEndTheUnpackingKeepingWhatCameBefore) {
    const std::string added = kVersion2[0].content;
    const std::string good = SiteArchiveContent({{"added.bin", added, 0}});
    const std::string goodMember = good.substr(0, good.size() - 2);
    const std::string changed = kVersion2[1].content;
    struct Case {
        const char* title;
        std::string content;  // after the good member
        std::string failure;  // a part of the failure's text
    };
    std::string largeKind = SiteArchiveContent({{"kept.txt", "unchanged", 0}});
    largeKind[0] = '1';
    std::string untimed = SiteArchiveContent({{"kept.txt", "unchanged", 0}});
    untimed[2 + std::string("kept.txt").size() + 1] = '\0';
    const std::string tooLong =
        DifferenceBytes(kVersion1[0].content, changed) + DifferenceRecord(0x10, 1, "!");
    const Case cases[] = {
        {"an eight-byte size", largeKind, "class FormatError"},
        {"a time of no length", untimed, "class FormatError"},
        {"a difference beyond the new file's size", SiteArchiveContent({{"__dif_changed.txt", tooLong, 0}}),
         "class FormatError"},
        {"a member cut short", SiteArchiveContent({{"kept.txt", "unchanged", 0}}).substr(0, 30), "class NoMoreData"},
        {"a difference without its old file", SiteArchiveContent({{"__dif_added.bin", "", 0}}),
         "\"FileNotFoundError\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::filesystem::remove_all(NewFolder());
        std::filesystem::create_directories(NewFolder());
        std::string failure;
        try {
            Unpack(CompressedFileBytes(goodMember + c.content));
        } catch (const std::exception& error) {
            failure = error.what();
        }
        EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
        EXPECT_EQ(Contents(NewFolder()).count("added.bin"), 1u);
        EXPECT_EQ(Contents(NewFolder()).count("changed.txt"), 0u);
    }
}
