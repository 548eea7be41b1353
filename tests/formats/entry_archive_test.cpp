#include "formats/entry_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/const_data_reader.h"
#include "base/file_name.h"
#include "formats/compressed_file_support.h"
#include "foundation/endian.h"
#include "foundation/file_item.h"
#include "foundation/whole_file.h"
#include "support/temporary_folder.h"

namespace {

const std::string kTenSecondsAfterEpoch = "Thu, 01 Jan 1970 00:00:10 +0000";

// One archive entry; the name is written with a terminating zero byte unless told otherwise.
std::string Entry(const std::string& name, const std::string& data, char type = '_',
                  const std::string& time = kTenSecondsAfterEpoch, std::uint64_t size = UINT64_MAX) {
    if (size == UINT64_MAX) size = data.size();
    std::string entry(1, type);
    entry += static_cast<char>(name.size() + 1);
    entry += name;
    entry += '\0';
    entry += static_cast<char>(time.size());
    entry += time;
    for (int i = 0; i < (type == '1' ? 8 : 4); ++i) entry += static_cast<char>(size >> (8 * i));
    return entry + data;
}

const std::string kEndMark("_\0", 2);

std::string ReadText(const std::string& path) {
    std::vector<Byte> bytes = ReadWholeFile(FileLocation(path.c_str()));
    return std::string(bytes.begin(), bytes.end());
}

void Extract(const std::string& archive, const std::string& destination, std::uint64_t limit = 0) {
    ConstDataReader reader((ConstData(archive)));
    ExtractArchive(reader, FileLocation(destination.c_str()), limit);
}

// Every path below the folder, relative to it, sorted.
std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        paths.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The regular files below the folder, relative to it, sorted.
std::vector<std::string> RegularFiles(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(std::filesystem::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(ExtractArchive, PlainAndCompressedArchivesExtractToTheSameFiles) {
    TemporaryFolder folder;
    const std::string binary = RandomBytes(70'000);
    const std::string archive = Entry("a.txt", "alpha") + Entry("dir/", "") + Entry("/", "") +
                                Entry("dir\\b.bin", binary, '1') + Entry("dir/sub/c.txt", "gamma") +
                                Entry("empty", "") + Entry("untimed", "x", '_', "not a time") + kEndMark;
    std::filesystem::create_directory(folder / "plain");
    std::filesystem::create_directory(folder / "compressed");
    std::filesystem::create_directory(folder / "streamed");

    WriteWholeFile(ConstData(archive), FileLocation((folder / "plain.arc").c_str()));
    WriteCompressedFile(FileLocation((folder / "compressed.arc").c_str()), archive);
    ExtractArchiveFile(FileLocation((folder / "plain.arc").c_str()), FileLocation((folder / "plain").c_str()),
                       0);
    ExtractArchiveFile(FileLocation((folder / "compressed.arc").c_str()),
                       FileLocation((folder / "compressed").c_str()), 1'000'000);
    Extract(archive, folder / "streamed");

    const std::vector<std::string> expected = {"a.txt",         "dir",   "dir/b.bin", "dir/sub",
                                               "dir/sub/c.txt", "empty", "untimed"};
    for (const char* extracted : {"plain", "compressed", "streamed"}) {
        std::string root = folder / extracted;
        EXPECT_EQ(Listing(root), expected) << extracted;
        EXPECT_EQ(ReadText(root + "/a.txt"), "alpha");
        EXPECT_EQ(ReadText(root + "/dir/b.bin"), binary);
        EXPECT_EQ(ReadText(root + "/dir/sub/c.txt"), "gamma");
        EXPECT_EQ(ReadText(root + "/empty"), "");
        EXPECT_EQ(FileItem(FileLocation((root + "/a.txt").c_str())).GetLastWriteTime(),
                  10 * kMicrosecondsPerSecond);
        EXPECT_NE(FileItem(FileLocation((root + "/untimed").c_str())).GetLastWriteTime(),
                  10 * kMicrosecondsPerSecond);
    }
}

TEST(ExtractArchive, TheEmptyArchiveExtractsNothing) {
    TemporaryFolder folder;
    Extract(kEndMark, folder / "plain");
    EXPECT_TRUE(Listing(folder / "plain").empty());
    WriteCompressedFile(FileLocation((folder / "empty.arc").c_str()), kEndMark);
    ExtractArchiveFile(FileLocation((folder / "empty.arc").c_str()),
                       FileLocation((folder / "compressed").c_str()), 0);
    EXPECT_TRUE(Listing(folder / "compressed").empty());
}

TEST(ExtractArchive, ATruncatedArchiveKeepsTheFilesExtractedBeforeIt) {
    TemporaryFolder folder;
    const std::string first = Entry("first.txt", "complete");
    const std::string second = Entry("second.txt", std::string(5000, 's'));
    const std::string archive = first + second + kEndMark;
    for (std::size_t cut : {first.size() + 1, first.size() + 8, first.size() + second.size() - 4'000,
                            first.size() + second.size() - 1, first.size() + second.size()}) {
        std::string destination = folder / ("cut" + std::to_string(cut));
        EXPECT_THROW(Extract(archive.substr(0, cut), destination), NoMoreData) << cut;
        EXPECT_EQ(ReadText(destination + "/first.txt"), "complete");
        std::vector<std::string> expected = {"first.txt"};
        if (cut == first.size() + second.size()) expected.push_back("second.txt");
        EXPECT_EQ(Listing(destination), expected) << "no partial file and no temporary file";
    }
}

TEST(ExtractArchive, NamesStayInsideTheDestination) {
    const std::pair<std::string, std::string> names[] = {
        {"../evil.txt", "evil.txt"},
        {"/etc/abs.txt", "etc/abs.txt"},
        {"..\\..\\win.txt", "win.txt"},
        {"a/../../b.txt", "b.txt"},
        {"./c.txt", "c.txt"},
        {"x\\..\\..\\..\\y.txt", "y.txt"},
        {"//double//slash.txt", "double/slash.txt"},
    };
    for (const auto& [name, expected] : names) {
        TemporaryFolder folder;
        Extract(Entry(name, "content") + kEndMark, folder / "inside/dest");
        EXPECT_EQ(RegularFiles(folder.Path()), std::vector<std::string>{"inside/dest/" + expected}) << name;
        EXPECT_EQ(ReadText(folder / "inside/dest/" + expected), "content") << name;
    }
}

TEST(ExtractArchive, RefusesMalformedEntries) {
    std::string noTime = Entry("a", "x");
    const std::size_t timeLengthAt = 4;  // type, name length, "a", its zero byte
    noTime[timeLengthAt] = 0;
    noTime.erase(timeLengthAt + 1, kTenSecondsAfterEpoch.size());
    const std::pair<std::string, const char*> cases[] = {
        {"x" + Entry("a", "x").substr(1) + kEndMark, "class FormatError"},
        {"x", "class FormatError"},
        {noTime + kEndMark, "class FormatError"},
        {Entry("dir/", "abc") + kEndMark, "class FormatError"},
        {Entry("", "x") + kEndMark, "class DataOverflow"},
        {Entry("..", "x") + kEndMark, "class FormatError"},
        {Entry("dir/..", "x") + kEndMark, "class FormatError"},
        {Entry("a:b", "x") + kEndMark, "class IllegalFileName"},
        {"", "class NoMoreData"},
        {Entry("a", "", '_', kTenSecondsAfterEpoch, 10), "class NoMoreData"},
    };
    for (const auto& [archive, failure] : cases) {
        TemporaryFolder folder;
        std::string error;
        try {
            Extract(archive, folder / "dest");
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, failure) << archive;
        EXPECT_TRUE(Listing(folder / "dest").empty()) << archive;
    }
}

TEST(ExtractArchive, ACompressedArchiveStopsAtTheByteLimit) {
    TemporaryFolder folder;
    const std::size_t zeros = 8'000'000;
    const FileLocation archive((folder / "bomb.arc").c_str());
    {
        PosixPlatform::FileWritingPath path(archive);
        FileDataSink sink(path, 0);
        CompressedFileWriter writer(sink, archive);
        writer.Begin();
        writer.Receive(ConstData(Entry("big", "", '_', kTenSecondsAfterEpoch, zeros)));
        std::string block(65536, '\0');
        for (std::size_t written = 0; written < zeros; written += block.size())
            writer.Receive(ConstData(block.data(), std::min(block.size(), zeros - written)));
        writer.Receive(ConstData(kEndMark));
        writer.End();
    }
    ASSERT_LT(std::filesystem::file_size(archive.GetPathString()), 50'000u);
    EXPECT_THROW(ExtractArchiveFile(archive, FileLocation((folder / "limited").c_str()), 1'000'000),
                 UntrustedByteLimitExceeded);
    EXPECT_TRUE(Listing(folder / "limited").empty());
    ExtractArchiveFile(archive, FileLocation((folder / "unlimited").c_str()), 0);
    EXPECT_EQ(std::filesystem::file_size(folder / "unlimited/big"), zeros);
}

TEST(IsArchiveControlName, KnowsTheControlFiles) {
    const std::pair<const char*, bool> names[] = {
        {"Index.txt", true}, {"INDEX.TXT", true}, {"archive.dat", true}, {"Index.tmp", true},
        {"_anything", true}, {"_", true},         {"", false},           {"Index.txt2", false},
        {"a_b", false},      {"Index", false},
    };
    for (const auto& [name, control] : names)
        EXPECT_EQ(IsArchiveControlName(ConstDataOfCString(name)), control) << name;
}
