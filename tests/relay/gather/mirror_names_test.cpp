// The names of site version folders and of the mirror files of a site.
#include <gtest/gtest.h>

#include "crypto/openssl_startup.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/mirror_folder_names.h"

namespace {

class MirrorNamesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }
};

TEST_F(MirrorNamesTest, ASiteVersionFolderIsNamedByItsListWhenItHasOne) {
    EXPECT_EQ(SiteVersionFolderName(5, 12, ManyVersionList{}), "daruravidumirror_5_12");
    const ManyVersionList list = ManyVersionFromText("5,3");
    const std::string name = "manymirror_5_12_" + std::to_string(ManyVersionCRC(list));
    EXPECT_EQ(SiteVersionFolderName(5, 12, list), name);
    EXPECT_EQ(SiteVersionFolderName(5, 12, ManyVersionFromText("5,3,0,0")), name) << "trailing zeros count for nothing";
    EXPECT_EQ(SiteVersionDirectory(FileLocation("/w/vtsites"), 5, 12, list).ToString(), "/w/vtsites/" + name);
    const MirrorFolderName parsed = ParseMirrorFolderName(name);
    EXPECT_EQ(parsed.kind, MirrorFolderKind::ManyMirror);
    EXPECT_EQ(parsed.siteID, 5u);
    EXPECT_EQ(ManyDirListsFolderName(5), "manydirlists_5");
}

TEST_F(MirrorNamesTest, DirListFilesAreNamedByTheListsSHA1Text) {
    const ManyVersionList list = ManyVersionFromText("5,3");
    const std::string sha1 = ManyVersionDigestText(list);
    EXPECT_EQ(ManyDirListFileName(kManyDirListPrefix, list), "__mdirlist_" + sha1);
    EXPECT_EQ(ManyDirListFileName(kCompressedManyDirListPrefix, ManyVersionFromText("5,3,0")), "__mdirlistc_" + sha1);
    EXPECT_EQ(ManyDirListFileName(kManyFullSitePrefix, list), "__fullsite_" + sha1);
    EXPECT_EQ(ManyDirListFileName(kManyAllDiffsPrefix, list), "__alldiffs_" + sha1);
    EXPECT_EQ(ManyDiffSiteName("ab", sha1), "__diffsite_ab_to_" + sha1);
    EXPECT_EQ(SingleDiffSiteName(9), "__diffsite9");
}

}  // namespace
