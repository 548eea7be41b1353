#include "formats/site_archive_extraction.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "foundation/data_stages.h"
#include "foundation/whole_file.h"
#include "formats/compressed_file.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

class SiteArchiveExtractionTest : public ::testing::Test {
  protected:
    SiteArchiveExtractionTest() { std::filesystem::create_directories(m_directory.ToString()); }

    void Extract(const std::vector<ArchiveMember>& members, bool compress,
                 const std::function<bool(std::string_view)>& accept = [](std::string_view) { return true; }) {
        WriteFileBytes(m_folder / "archive", SiteArchiveBytes(members));
        ExtractSiteArchive(FileLocation((m_folder / "archive").c_str()), m_directory, accept, compress);
    }
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_directory.ToString()))
            files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
        return files;
    }

    TemporaryFolder m_folder;
    FileLocation m_directory{(m_folder / "out").c_str()};
};

TEST_F(SiteArchiveExtractionTest, MembersLandUnderTheirFileNamesAndOthersAreReadPast) {
    Extract({{"dir/", ""},
             {"a.txt", "one"},
             {"folder\\b.txt", "two"},
             {"__dif_c.txt", "a difference"},
             {"..", "escaping"},
             {"skipped.txt", "not accepted"},
             {"d.txt", "after the skipped ones"}},
            false, [](std::string_view name) { return name != "skipped.txt"; });
    EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"a.txt", "one"},
                                                           {"b.txt", "two"},
                                                           {"__dif_c.txt", "a difference"},
                                                           {"d.txt", "after the skipped ones"}}));
}

TEST_F(SiteArchiveExtractionTest, ACompressedMemberIsAWholeCompressedFileThatReplacesTheOldOne) {
    WriteFileBytes(m_directory.ToString() + "/a", "old");
    Extract({{"a", "the member's bytes"}}, true);
    std::string expanded;
    StringReceiver collect(expanded);
    CompressionRemover remover(collect);
    FeedFileToReceiver(m_directory.MakeChild("a"), remover);
    EXPECT_EQ(expanded, "the member's bytes");
    EXPECT_EQ(Files().size(), 1u);
}

TEST_F(SiteArchiveExtractionTest, AnArchiveCutShortLeavesTheMembersBeforeAndNoPartialOne) {
    std::string content = SiteArchiveContent({{"a", "complete"}, {"b", "cut inside this member"}});
    content.resize(content.size() - 12);
    WriteFileBytes(m_folder / "archive", CompressedFileBytes(content));
    EXPECT_THROW(ExtractSiteArchive(FileLocation((m_folder / "archive").c_str()), m_directory,
                                    [](std::string_view) { return true; }, false),
                 NoMoreData);
    EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"a", "complete"}}));
}

}  // namespace
