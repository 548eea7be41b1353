#include "relay/post/numbered_file_directory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/temporary_folder.h"

namespace {

std::string NextName(NumberedFileDirectory& numbering) {
    return numbering.NextFile().GetName().CString();
}

void MakeFiles(const TemporaryFolder& folder, const std::vector<std::string>& names) {
    for (const std::string& name : names) std::ofstream(folder / name) << "x";
}

}  // namespace

TEST(NumberedFileDirectoryTest, TheFirstNameFollowsTheHighestNumberedNameFound) {
    struct Case {
        std::vector<std::string> names;
        const char* first;
    };
    for (const Case& c :
         {Case{{}, "0000000000000001"},
          Case{{"00000000000000ff", "0000000000000100.tmp"}, "0000000000000101"},
          Case{{"report.txt", "zz", ".hidden", "12g4"}, "0000000000000001"},
          Case{{"1A", "3.b.c", "2"}, "000000000000001b"},
          Case{{"ffffffffffffffff", "10000000000000000", "0000000000000009"}, "000000000000000a"}}) {
        SCOPED_TRACE(c.first);
        TemporaryFolder folder;
        MakeFiles(folder, c.names);
        NumberedFileDirectory numbering(FileLocation(folder.Path().c_str()));
        EXPECT_EQ(NextName(numbering), c.first);
    }
}

TEST(NumberedFileDirectoryTest, NamesGrowAndAMissingFolderStartsAtOne) {
    TemporaryFolder folder;
    NumberedFileDirectory numbering(FileLocation((folder / "missing").c_str()));
    EXPECT_EQ(numbering.NextFile().GetPathString(), folder / "missing/0000000000000001");
    for (int i = 2; i < 26; ++i) numbering.NextFile();
    EXPECT_EQ(NextName(numbering), "000000000000001a");
}

// A carbon-copy folder that kept a higher name than the buffer folder: the buffer never reuses it.
TEST(NumberedFileDirectoryTest, ScanningASecondFolderContinuesAfterTheHighestNameOfEither) {
    TemporaryFolder own;
    TemporaryFolder copies;
    MakeFiles(own, {"0000000000000005"});
    MakeFiles(copies, {"0000000000000030", "0000000000000002"});
    NumberedFileDirectory numbering(FileLocation(own.Path().c_str()));
    numbering.Scan(FileLocation(copies.Path().c_str()));
    EXPECT_EQ(NextName(numbering), "0000000000000031");
}

// Test labels: NumberedFileDirectoryTest.ThreadsNeverGetTheSameName tsan
TEST(NumberedFileDirectoryTest, ThreadsNeverGetTheSameName) {
    TemporaryFolder folder;
    NumberedFileDirectory numbering(FileLocation(folder.Path().c_str()));
    constexpr int kThreads = 4;
    constexpr int kNamesEach = 500;
    std::vector<std::vector<std::string>> names(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kNamesEach; ++i) names[t].push_back(NextName(numbering));
        });
    for (std::thread& thread : threads) thread.join();
    std::set<std::string> distinct;
    for (const auto& list : names) distinct.insert(list.begin(), list.end());
    EXPECT_EQ(distinct.size(), std::size_t{kThreads * kNamesEach});
}
