#include "formats/site_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "foundation/data_stages.h"
#include "foundation/whole_file.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

const std::string kEpochText = "Thu, 01 Jan 1970 00:00:00 +0000";

FileLocation At(const TemporaryFolder& folder, const std::string& name) {
    return FileLocation((folder / name).c_str());
}

// The content of a compressed archive file.
std::string ArchiveContent(const FileLocation& archive) {
    std::string content;
    StringReceiver collect(content);
    CompressionRemover expanded(collect);
    FeedFileToReceiver(archive, expanded);
    return content;
}

// The head of a file record as the writer makes it, or the class of its refusal.
std::string RecordHead(const std::string& name, std::uint64_t size, bool largeFilesAllowed) {
    std::string head;
    StringReceiver collect(head);
    collect.Begin();
    try {
        WriteSiteArchiveRecordHead(collect, ConstData(std::string_view(name)), 0, size, largeFilesAllowed);
    } catch (const std::exception& refusal) {
        return refusal.what();
    }
    return head;
}

std::string SizeBytes(std::initializer_list<int> bytes) {
    std::string text;
    for (int byte : bytes) text.push_back(static_cast<char>(byte));
    return text;
}

}  // namespace

TEST(SiteArchiveWriter, WritesTheRecordsOfFilesAndDirectories) {
    TemporaryFolder folder;
    WriteFileBytes(folder / "a", "12345");
    std::filesystem::create_directory(folder / "d");
    SiteArchiveWriter writer;
    writer.Open(At(folder, "archive"), false, false);
    writer.AddPath(At(folder, "a"), ConstData(std::string_view("a")), 0);
    writer.AddPath(At(folder, "d"), ConstData(std::string_view("d")), 90 * kMicrosecondsPerSecond + 999'999);
    writer.Finish();

    const std::string expected = std::string("_\x02" "a", 3) + '\0' + '\x1F' + kEpochText + SizeBytes({5, 0, 0, 0}) +
                                 "12345" + std::string("_\x03" "d/", 4) + '\0' + '\x1F' +
                                 "Thu, 01 Jan 1970 00:01:30 +0000" + SizeBytes({0, 0, 0, 0}) + std::string("_\0", 2);
    EXPECT_EQ(ArchiveContent(At(folder, "archive")), expected);
    EXPECT_EQ(expected, SiteArchiveContent({{"a", "12345", 0}, {"d/", "", 90}})) << "as the test maker writes it";
    EXPECT_EQ(ReadFileText(At(folder, "archive")).substr(0, 8), std::string("##SC001\0", 8));
}

TEST(SiteArchiveWriter, AnEmptyArchiveIsTheEndMarkInEitherWrapper) {
    TemporaryFolder folder;
    SiteArchiveWriter writer;
    writer.Open(At(folder, "compressed"), false, false);
    writer.Finish();
    EXPECT_EQ(ArchiveContent(At(folder, "compressed")), std::string("_\0", 2));

    writer.Open(At(folder, "stored"), true, false);
    writer.Finish();
    const std::string stored = ReadFileText(At(folder, "stored"));
    EXPECT_EQ(stored.substr(0, 8), std::string("##SN001\0", 8));
    EXPECT_EQ(stored.substr(12), std::string("_\0", 2));
}

TEST(SiteArchiveWriter, NamesAndSizesWithinTheFormat) {
    const std::string tooBig = "class ArchiveWriterFileTooBigError";
    const std::string refused = "class ArchiveWriterError";
    struct Case {
        const char* title;
        std::string name;
        std::uint64_t size;
        bool largeFiles;
        std::string kindAndSize;  // the head's first byte and its size field, or the refusal
    };
    const Case cases[] = {
        {"a name of 254 bytes", std::string(254, 'n'), 1, false, "_" + SizeBytes({1, 0, 0, 0})},
        {"a name of 255 bytes", std::string(255, 'n'), 1, false, refused},
        {"no name", "", 1, false, refused},
        {"4 GiB - 1 byte, small files only", "f", 0xFFFFFFFFu, false, tooBig},
        {"4 GiB - 2 bytes, small files only", "f", 0xFFFFFFFEu, false, "_" + SizeBytes({0xFE, 0xFF, 0xFF, 0xFF})},
        {"4 GiB - 1 byte, large files allowed", "f", 0xFFFFFFFFu, true, "_" + SizeBytes({0xFF, 0xFF, 0xFF, 0xFF})},
        {"4 GiB, large files allowed", "f", 0x100000000u, true, "1" + SizeBytes({0, 0, 0, 0, 1, 0, 0, 0})},
        {"2^64 - 1 bytes", "f", ~std::uint64_t{0}, true, tooBig},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const std::string head = RecordHead(c.name, c.size, c.largeFiles);
        if (head.starts_with("class ")) {
            EXPECT_EQ(head, c.kindAndSize);
            continue;
        }
        const std::size_t sizeLength = c.kindAndSize.size() - 1;
        EXPECT_EQ(head.substr(0, 1) + head.substr(head.size() - sizeLength), c.kindAndSize);
        EXPECT_EQ(static_cast<Byte>(head[1]), c.name.size() + 1);
    }
}
