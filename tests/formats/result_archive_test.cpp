#include "formats/result_archive.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/const_data_reader.h"
#include "formats/compressed_file_support.h"
#include "formats/push_back_data_reader.h"
#include "foundation/data_stages.h"
#include "foundation/file_reader.h"
#include "foundation/whole_file.h"
#include "support/temporary_folder.h"

namespace {

std::string ReadAll(DataReader& reader, std::size_t room = 100) {
    return ReadToEnd(reader, room);
}

// The sections of an archive, each read whole.
std::vector<std::string> ReadSections(const std::string& archive) {
    ConstDataReader reader((ConstData(archive)));
    std::vector<std::string> sections;
    while (reader.HasMore()) {
        ResultArchiveSectionReader section(reader);
        sections.push_back(ReadAll(section));
    }
    return sections;
}

std::string WriteArchive(const std::vector<std::string>& sections) {
    std::string archive;
    StringReceiver target(archive);
    ResultArchiveWriter writer(target);
    writer.Begin();
    for (const std::string& section : sections)
        ReceiveComplete(writer.Section(section.size()), ConstData(section));
    writer.End();
    return archive;
}

}  // namespace

TEST(ResultArchive, WritesAndReadsSections) {
    const std::vector<std::string> sections = {"first", "", RandomBytes(10'000), "PRFILE:"};
    std::string archive = WriteArchive(sections);
    EXPECT_EQ(archive.substr(0, 20), std::string("PRFILE:\0\0\0\0\0\0\0\x05"
                                                 "first",
                                                 20));
    EXPECT_EQ(archive.substr(20, 15), std::string("PRFILE:\0\0\0\0\0\0\0\0", 15));
    EXPECT_EQ(ReadSections(archive), sections);
    EXPECT_TRUE(ReadSections("").empty());
}

TEST(ResultArchive, ASectionReaderDroppedHalfWayLeavesTheNextSectionReadable) {
    std::string archive = WriteArchive({std::string(5000, 'a'), "next"});
    ConstDataReader reader((ConstData(archive)));
    {
        ResultArchiveSectionReader first(reader);
        Byte half[2500];
        first.ReadInto(half, half + sizeof half);
    }
    ResultArchiveSectionReader second(reader);
    EXPECT_EQ(second.Length(), 4u);
    EXPECT_EQ(ReadAll(second), "next");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(ResultArchive, RefusesAForeignOrShortHeader) {
    const std::pair<std::string, const char*> archives[] = {
        {std::string("PRFILX:\0\0\0\0\0\0\0\0", 15), "class FormatError"},
        {"PRF", "class NoMoreData"},
        {std::string("PRFILE:\0\0\0", 10), "class NoMoreData"},
    };
    for (const auto& [archive, failure] : archives) {
        ConstDataReader reader((ConstData(archive)));
        try {
            ResultArchiveSectionReader section(reader);
            ADD_FAILURE() << archive;
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), failure);
        }
    }
    // A section whose bytes end early ends early: the reader says how many were missing.
    std::string archive = WriteArchive({"complete"});
    archive.resize(archive.size() - 3);
    ConstDataReader reader((ConstData(archive)));
    ResultArchiveSectionReader section(reader);
    EXPECT_EQ(ReadAll(section), "compl");
    EXPECT_EQ(section.Remaining(), 3u);
}

namespace {

// Writes the archive, and changes the file being put in, in place, once its section has been asked
// for: appends to it, or cuts it to three bytes.
class ChangingFileWriter : public ResultArchiveWriter {
  public:
    enum class Change { Grow, Shrink };

    ChangingFileWriter(DataReceiver& target, const FileLocation& file, Change change)
        : ResultArchiveWriter(target), m_file(file), m_change(change) {}

    DataReceiver& Section(std::uint64_t length) override {
        PosixPlatform::FileWritingPath file;
        file.Open(m_file);
        if (m_change == Change::Shrink) {
            file.SetLength(3);
        } else {
            ConstData appended(std::string_view("grown meanwhile"));
            file.WriteAt(file.GetSize(), appended.begin, appended.end);
        }
        return ResultArchiveWriter::Section(length);
    }

  private:
    FileLocation m_file;
    Change m_change;
};

}  // namespace

TEST(ReadFileInto, CopiesExactlyTheLengthInTheSectionHeader) {
    TemporaryFolder folder;
    FileLocation file((folder / "report").c_str());
    const std::string content(3000, 'o');
    WriteWholeFile(ConstData(content), file);

    std::string archive;
    StringReceiver target(archive);
    ChangingFileWriter growing(target, file, ChangingFileWriter::Change::Grow);
    growing.Begin();
    ReadFileInto(growing, file);
    ReceiveComplete(growing.Section(4), ConstData(std::string_view("next")));
    growing.End();
    EXPECT_EQ(ReadSections(archive), (std::vector<std::string>{content, "next"}));

    WriteWholeFile(ConstData(content), file);
    ChangingFileWriter shrinking(target, file, ChangingFileWriter::Change::Shrink);
    shrinking.Begin();
    EXPECT_THROW(ReadFileInto(shrinking, file), FileReadingLoopEndOfFileError);

    WriteWholeFile(ConstData(std::string_view("")), file);
    ResultArchiveWriter writer(target);
    writer.Begin();
    ReadFileInto(writer, file);
    writer.End();
    EXPECT_EQ(ReadSections(archive), std::vector<std::string>{""});
}

TEST(SectionReader, ServesAtMostItsLength) {
    std::string text = "0123456789";
    ConstDataReader reader((ConstData(text)));
    SectionReader first(reader, 4);
    EXPECT_EQ(ReadAll(first, 3), "0123");
    SectionReader rest(reader, 100);
    EXPECT_EQ(ReadAll(rest), "456789");
    EXPECT_EQ(rest.Remaining(), 94u);
}

TEST(PushBackDataReader, ServesPushedBytesFirst) {
    std::string text = "wrapped";
    ConstDataReader wrapped((ConstData(text)));
    PushBackDataReader reader(wrapped);
    reader.PushBack(ConstData(std::string_view("ab")));
    reader.PushBack(ConstData(std::string_view("cd")));
    Byte three[3];
    reader.ReadInto(three, three + 3);
    EXPECT_EQ(std::string(three, three + 3), "abc");
    reader.PushBack(ConstData(std::string_view("X")));
    Byte four[4];
    reader.ReadInto(four, four + 4);
    EXPECT_EQ(std::string(four, four + 4), "dXwr");
    EXPECT_EQ(ReadAll(reader, 2), "apped");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(PushBackDataReader, HoldsAtMostTheBufferAndNeverLosesRoomWithUse) {
    EmptyDataReader& empty = EmptyDataReader::Instance();
    PushBackDataReader reader(empty);
    const std::string kilobyte(1024, 'k');
    reader.PushBack(ConstData(std::string_view(kilobyte).substr(0, 1000)));
    EXPECT_THROW(reader.PushBack(ConstData(std::string_view("25 bytes that do not fit!"))),
                 PushBackBufferOverflow);
    EXPECT_EQ(ReadAll(reader, 300), kilobyte.substr(0, 1000));
    for (int round = 0; round < 10; ++round) {
        reader.PushBack(ConstData(kilobyte));
        EXPECT_EQ(ReadAll(reader, 7), kilobyte);
    }
    EXPECT_THROW(reader.PushBack(ConstData(kilobyte + "!")), PushBackBufferOverflow);
}
