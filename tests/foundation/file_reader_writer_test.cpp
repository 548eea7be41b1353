#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "foundation/file_line_reader.h"
#include "foundation/file_reader.h"
#include "foundation/file_writer.h"
#include "foundation/whole_file.h"
#include "support/pipeline_recorders.h"
#include "support/temporary_folder.h"

namespace {

// The calls a RecordingReceiver got, with each chunk shown by its length: "B 4096 904 E".
std::string CallSizes(const RecordingReceiver& receiver) {
    std::string sizes;
    for (const std::string& call : receiver.calls) {
        if (!sizes.empty()) sizes += " ";
        sizes += call == "Begin" ? "B" : call == "End" ? "E" : std::to_string(call.size() - 9);
    }
    return sizes;
}

// Truncates its file to `cutTo` bytes after the first chunk.
class TruncatingReceiver : public RecordingReceiver {
  public:
    TruncatingReceiver(std::string path, off_t cutTo) : m_path(std::move(path)), m_cutTo(cutTo) {}
    void Receive(const Byte* begin, const Byte* end) override {
        RecordingReceiver::Receive(begin, end);
        ASSERT_EQ(::truncate(m_path.c_str(), m_cutTo), 0);
    }

  private:
    std::string m_path;
    off_t m_cutTo;
};

// The lines a FileLineReader gives, joined with "|".
std::string LinesOf(const FileLocation& location) {
    std::string lines;
    for (FileLineReader reader(location); reader.HasLine(); reader.Next()) {
        lines += std::string(reader.GetLine().View()) + "|";
    }
    return lines;
}

class FileStreams : public ::testing::Test {
  protected:
    FileLocation Write(const char* name, const std::string& content) {
        std::ofstream(m_folder / name, std::ios::binary) << content;
        return At(name);
    }
    FileLocation At(const char* name) { return FileLocation((m_folder / name).c_str()); }
    TemporaryFolder m_folder;
};

}  // namespace

TEST_F(FileStreams, FileReaderReadsUpToTheSizeAtSetUp) {
    PosixPlatform::FileReadingPath path(Write("f", "abcdef"));
    FileReader reader(path, 2);
    Byte buffer[3];
    OutputRange range(buffer, sizeof buffer);
    reader.ReadSome(range);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "cde");
    EXPECT_FALSE(reader.AtEnd());
    range = OutputRange(buffer, sizeof buffer);
    reader.ReadSome(range);
    EXPECT_EQ(range.begin, buffer + 1);
    EXPECT_TRUE(reader.AtEnd());
    range = OutputRange(buffer, sizeof buffer);
    reader.ReadSome(range);
    EXPECT_EQ(range.begin, buffer);

    FileReader across(path, 4);
    EXPECT_THROW(across.ReadInto(buffer, buffer + 3), NoMoreData);

    // A skip moves the position without reading, past the end too, where reads find nothing.
    FileReader skipping(path);
    skipping.Skip(3);
    skipping.ReadInto(buffer, buffer + 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 2), "de");
    skipping.Skip(10);
    EXPECT_TRUE(skipping.AtEnd());
    EXPECT_THROW(skipping.ReadInto(buffer, buffer + 1), NoMoreData);
    skipping.Skip(~std::uint64_t{0});
    EXPECT_EQ(skipping.GetPosition(), ~std::uint64_t{0});
}

TEST_F(FileStreams, FeedingDeliversChunksBetweenBeginAndEnd) {
    std::string content(10000, 'x');
    struct Case {
        std::uint64_t start, end;
        const char* calls;
    } cases[] = {
        {0, 10000, "B 4096 4096 1808 E"},
        {9000, 10000, "B 1000 E"},
        {10000, 10000, "B E"},
        {100, 200, "B 100 E"},
    };
    FileLocation file = Write("f", content);
    for (const Case& c : cases) {
        RecordingReceiver receiver;
        if (c.end == 10000) {
            FeedFileToReceiver(file, receiver, c.start);
        } else {
            FeedFileSectionToReceiver(file, receiver, c.start, c.end);
        }
        EXPECT_EQ(CallSizes(receiver), c.calls) << c.start;
    }
    RecordingReceiver empty;
    FeedFileToReceiver(Write("empty", ""), empty);
    EXPECT_EQ(CallSizes(empty), "B E");
}

TEST_F(FileStreams, FeedingPastTheEndOrAShrinkingFileFails) {
    FileLocation file = Write("f", std::string(10000, 'x'));
    RecordingReceiver beyond;
    EXPECT_THROW(FeedFileSectionToReceiver(file, beyond, 0, 20000), FileReadingLoopEndOfFileError);
    EXPECT_THROW(FeedFileSectionToReceiver(file, beyond, 200, 100), FileReadingLoopEndOfFileError);

    TruncatingReceiver shrinking(m_folder / "f", 5000);
    EXPECT_THROW(FeedFileToReceiver(file, shrinking), FileReadingLoopEndOfFileError);
    EXPECT_EQ(CallSizes(shrinking), "B 4096 904");
}

TEST_F(FileStreams, FileDataSinkWritesFromItsStartAndFlushes) {
    PosixPlatform::FileWritingPath path(At("f"));
    FileDataSink sink(path, 3);
    sink.Begin();
    sink.Receive(ConstData(std::string_view("abc")));
    sink.Receive(ConstData());
    sink.Receive(ConstData(std::string_view("de")));
    sink.End();
    EXPECT_EQ(ReadFileText(At("f")), std::string("\0\0\0abcde", 8));

    FileWriter writer(path, 1);
    writer.Write(ConstData(std::string_view("XY")));
    EXPECT_EQ(writer.GetPosition(), 3u);
    EXPECT_EQ(ReadFileText(At("f")), std::string("\0XYabcde", 8));
}

TEST_F(FileStreams, WholeFilesRoundTrip) {
    std::string content;
    for (int i = 0; i < 5000; ++i) content += static_cast<char>(i % 251);
    WriteWholeFile(ConstData(std::string_view(content)), At("f"));
    EXPECT_EQ(ReadFileText(At("f")), content);
    std::vector<Byte> bytes = ReadWholeFile(At("f"));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content);
    WriteWholeFile(std::vector<Byte>{'n', 'e', 'w'}, At("f"));
    EXPECT_EQ(ReadFileText(At("f")), "new");
    EXPECT_THROW(ReadFileText(At("missing")), FileNotFoundError);
}

TEST_F(FileStreams, LineReaderTakesEveryKindOfLineEnd) {
    struct Case {
        std::string content;
        const char* lines;
    } cases[] = {
        {"a\r\nb\n\nc", "a|b||c|"},
        {"a\n\rb\r\rc\r\n", "a|b||c|"},
        {"", ""},
        {"only", "only|"},
        {"\n", "|"},
        {"x\r", "x|"},
    };
    for (const Case& c : cases) EXPECT_EQ(LinesOf(Write("f", c.content)), c.lines) << c.content;

    // Lines longer than the reader's buffer, and line ends that straddle two pieces of it.
    std::string longLine(5000, 'l');
    std::string straddling = std::string(2047, 's') + "\r\n" + longLine + "\n";
    EXPECT_EQ(LinesOf(Write("f", straddling)), std::string(2047, 's') + "|" + longLine + "|");
    EXPECT_THROW(FileLineReader(At("missing")), FileNotFoundError);
}

TEST_F(FileStreams, ReadFileLinesFeedsALineReceiver) {
    RecordingLineReceiver receiver;
    ReadFileLines(Write("f", "skip\na\r\nb"), receiver, 5);
    EXPECT_EQ(receiver.calls,
              (std::vector<std::string>{"Begin(0)", "Text(a)", "EndLine(1,3)", "Text(b)", "End(4)"}));
}
