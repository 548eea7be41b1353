#include "relay/gather/many_version_cleanup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

std::set<std::string> FolderNames(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

TEST(DeleteOldManyMirrorDirectories, DeletesOnlyTheSitesManyMirrorFoldersNotKept) {
    TemporaryFolder sites;
    for (const char* name : {"manymirror_3_1_11", "manymirror_3_2_22", "MANYMIRROR_3_3_33", "manymirror_31_1_11",
                             "manymirror_4_1_11", "daruravidumirror_3_1", "manydirlists_3"})
        std::filesystem::create_directories(sites / name);
    std::filesystem::create_directories(sites / "manymirror_3_1_11/inner");
    WriteWholeFile(sites / "manymirror_3_1_11/inner/a", "a");
    WriteWholeFile(sites / "manymirror_3_file", "not a folder");

    DeleteOldManyMirrorDirectories(FileLocation(sites.Path().c_str()), 3, FolderNameSet{"ManyMirror_3_2_22"});
    EXPECT_EQ(FolderNames(sites.Path()),
              (std::set<std::string>{"manymirror_3_2_22", "manymirror_31_1_11", "manymirror_4_1_11",
                                     "daruravidumirror_3_1", "manydirlists_3", "manymirror_3_file"}));
}

}  // namespace
