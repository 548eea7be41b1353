#include "formats/compressed_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/compressed_file_support.h"
#include "formats/file_appending_data_sink.h"
#include "foundation/checksum_receiver.h"
#include "foundation/data_bufferer.h"
#include "foundation/data_stages.h"
#include "foundation/endian.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/whole_file.h"
#include "support/pipeline_recorders.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

const std::string kPythonTool =
    std::string(KVR_SOURCE_DIR) + "/tests/formats/data/compressed_file/compressed_file_tool.py";

// Runs the independent Python reader and writer over (command, from, to) triples; true when all
// succeeded.
bool RunPythonTool(const std::vector<std::string>& arguments) {
    std::string line = "python3 '" + kPythonTool + "'";
    for (const std::string& argument : arguments) line += " '" + argument + "'";
    return std::system(line.c_str()) == 0;
}

std::string ReadText(const std::string& path) {
    std::vector<Byte> bytes = ReadWholeFile(FileLocation(path.c_str()));
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
    WriteWholeFile(ConstData(text), FileLocation(path.c_str()));
}

std::uint32_t StoredChecksum(const std::string& file) {
    std::uint32_t checksum = 0;
    ReadBigEndian32(ConstData(file.data() + 8, 4), checksum);
    return checksum;
}

// What a CompressionRemover made of a stream fed in pieces of `piece` bytes, with what the target
// was told: "+" for each Begin and "." for each End.
struct Removed {
    std::string content;
    std::string calls;
};

class ObservingReceiver : public DataReceiver, public DataWriter {
  public:
    explicit ObservingReceiver(Removed& result) : m_result(result) {}
    void Begin() override { m_result.calls += "+"; }
    void Receive(const Byte* begin, const Byte* end) override { m_result.content.append(begin, end); }
    void End() override { m_result.calls += "."; }

  private:
    Removed& m_result;
};

Removed RemoveCompression(const std::string& stream, std::size_t piece) {
    Removed result;
    ObservingReceiver target(result);
    CompressionRemover remover(target);
    remover.Begin();
    for (std::size_t from = 0; from < stream.size(); from += piece)
        remover.Receive(ConstData(stream.data() + from, std::min(piece, stream.size() - from)));
    remover.End();
    return result;
}

const std::vector<std::string>& Contents() {
    static const std::vector<std::string> contents = {
        "",
        "a",
        "123456789",
        CompressibleText(100'000),
        RandomBytes(150'000),
        CompressibleText(70'000) + RandomBytes(5'000) + std::string(40'000, '\0'),
    };
    return contents;
}

}  // namespace

TEST(CompressedFile, RoundTripsThroughTheReaderAndTheRemover) {
    TemporaryFolder folder;
    FileLocation file((folder / "c").c_str());
    for (const std::string& content : Contents()) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{1000}, std::size_t{65536}}) {
            if (chunk == 1 && content.size() > 10'000) continue;
            WriteCompressedFile(file, content, chunk);
            std::string bytes = ReadText(file.GetPathString());
            ASSERT_EQ(bytes.substr(0, 8), std::string("##SC001\0", 8));
            EXPECT_EQ(StoredChecksum(bytes), ChecksumOfRange(ConstData(content)));
            for (std::size_t room :
                 {std::size_t{1}, std::size_t{7}, std::size_t{1024}, std::size_t{100'000}}) {
                if (room == 1 && content.size() > 10'000) continue;
                EXPECT_EQ(ReadCompressedFile(file, room), content) << content.size() << " in " << room;
            }
            for (std::size_t piece : {std::size_t{1}, std::size_t{13}, std::size_t{4096}}) {
                if (piece == 1 && bytes.size() > 10'000) continue;
                Removed removed = RemoveCompression(bytes, piece);
                EXPECT_EQ(removed.content, content);
                EXPECT_EQ(removed.calls, "+.");
            }
        }
    }
}

TEST(CompressedFile, AnEmptyContentHasAZeroChecksumAndAnEmptyZlibStream) {
    TemporaryFolder folder;
    WriteCompressedFile(FileLocation((folder / "e").c_str()), "");
    std::string bytes = ReadText(folder / "e");
    EXPECT_EQ(bytes.substr(0, 12), std::string("##SC001\0\0\0\0\0", 12));
    EXPECT_EQ(bytes.substr(12), std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8));
}

TEST(CompressedFile, PythonReadsOursAndWeReadPythons) {
    TemporaryFolder folder;
    // Smaller than the other contents: the Python side computes the checksum byte by byte.
    const std::string contents[] = {"", "a", "123456789", CompressibleText(30'000), RandomBytes(20'000)};
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < std::size(contents); ++i) {
        std::string n = std::to_string(i);
        WriteCompressedFile(FileLocation((folder / ("ours" + n)).c_str()), contents[i]);
        WriteText(folder / ("content" + n), contents[i]);
        commands.insert(commands.end(), {"decompress", folder / ("ours" + n), folder / ("decompressed" + n),
                                         "compress", folder / ("content" + n), folder / ("pythons" + n),
                                         "store", folder / ("content" + n), folder / ("stored" + n)});
    }
    ASSERT_TRUE(RunPythonTool(commands));
    for (std::size_t i = 0; i < std::size(contents); ++i) {
        std::string n = std::to_string(i);
        EXPECT_EQ(ReadText(folder / ("decompressed" + n)), contents[i]);
        EXPECT_EQ(ReadCompressedFile(FileLocation((folder / ("pythons" + n)).c_str())), contents[i]);
        EXPECT_EQ(RemoveCompression(ReadText(folder / ("pythons" + n)), 4096).content, contents[i]);
        std::string stored = ReadText(folder / ("stored" + n));
        EXPECT_EQ(RemoveCompression(stored, 4096).content, stored) << "stored files pass unchanged";
    }
}

TEST(CompressedFile, AFlippedByteFailsWithTheChecksumOrAZlibError) {
    TemporaryFolder folder;
    std::string content = CompressibleText(20'000);
    WriteCompressedFile(FileLocation((folder / "c").c_str()), content);
    const std::string original = ReadText(folder / "c");
    for (std::size_t position = 8; position < original.size(); position += position < 40 ? 1 : 97) {
        std::string damaged = original;
        damaged[position] = static_cast<char>(damaged[position] ^ 0x10);
        WriteText(folder / "target", "old");
        FileReplacingDataSink sink(FileLocation((folder / "target").c_str()));
        CompressionRemover remover(sink);
        bool failed = false;
        try {
            ReceiveComplete(remover, ConstData(damaged));
        } catch (const CompressedFileChecksumError&) {
            failed = true;
        } catch (const ZlibError&) {
            failed = true;
        }
        EXPECT_TRUE(failed) << "byte " << position;
        EXPECT_EQ(ReadText(folder / "target"), "old") << "byte " << position;
        if (position >= 12) {
            WriteText(folder / "damaged", damaged);
            EXPECT_THROW(ReadCompressedFile(FileLocation((folder / "damaged").c_str())), ZlibError)
                << "byte " << position;
        }
    }
}

TEST(CompressedFile, StoredFilesPassTheRemoverAndTheReaderRefusesThem) {
    TemporaryFolder folder;
    FileLocation file((folder / "s").c_str());
    UncompressedFileWriter writer(file);
    ReceiveComplete(writer, ConstData(std::string_view("123456789")));
    std::string bytes = ReadText(file.GetPathString());
    EXPECT_EQ(bytes, std::string("##SN001\0\xfc\x89\x19\x18"
                                 "123456789",
                                 21));
    EXPECT_EQ(RemoveCompression(bytes, 5).content, bytes);
    EXPECT_THROW(ReadCompressedFile(file), FileStartingBytesNotRecognized);
}

TEST(CompressionRemover, PassesShortAndForeignStreamsUnchanged) {
    const std::string streams[] = {
        "",
        "abc",
        std::string("##SC001\0", 8),
        std::string("##SC001\0\0\0\0", 11),
        "plain text that is longer than a header",
        std::string("##SC002\0\0\0\0\0rest", 16),
    };
    for (const std::string& stream : streams) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{100}}) {
            Removed removed = RemoveCompression(stream, piece);
            EXPECT_EQ(removed.content, stream);
            EXPECT_EQ(removed.calls, "+.");
        }
    }
}

TEST(CompressedFileReader, StopsAfterTheUntrustedByteLimit) {
    TemporaryFolder folder;
    FileLocation file((folder / "bomb").c_str());
    WriteCompressedFile(file, std::string(2'000'000, '\0'));
    ASSERT_LT(ReadText(file.GetPathString()).size(), 5'000u);

    const std::uint64_t limit = 10'000;
    CompressedFileReader reader;
    reader.SetUntrustedByteLimit(limit);
    reader.Open(file);
    std::uint64_t delivered = 0;
    Byte buffer[1000];
    try {
        while (reader.HasMore()) {
            OutputRange free(buffer, sizeof buffer);
            reader.ReadSome(free);
            delivered += static_cast<std::uint64_t>(free.begin - buffer);
        }
        FAIL() << "the limit was not applied";
    } catch (const UntrustedByteLimitExceeded&) {
    }
    const std::uint64_t lookAhead = 1024;
    EXPECT_GE(delivered + 12 + lookAhead, limit);
    EXPECT_LE(delivered + 12, limit + sizeof buffer + lookAhead);

    reader.SetUntrustedByteLimit(2'000'012);
    reader.Open(file);
    while (reader.HasMore()) {
        OutputRange free(buffer, sizeof buffer);
        reader.ReadSome(free);
    }
}

TEST(CompressedFileReader, FailsOnATruncatedStreamAndIgnoresBytesAfterIt) {
    TemporaryFolder folder;
    std::string content = CompressibleText(50'000);
    WriteCompressedFile(FileLocation((folder / "c").c_str()), content);
    std::string bytes = ReadText(folder / "c");
    for (std::size_t cut : {std::size_t{12}, std::size_t{20}, bytes.size() / 2, bytes.size() - 1}) {
        WriteText(folder / "cut", bytes.substr(0, cut));
        EXPECT_THROW(ReadCompressedFile(FileLocation((folder / "cut").c_str())), ZlibError) << cut;
    }
    WriteText(folder / "cut", bytes.substr(0, 10));
    EXPECT_THROW(ReadCompressedFile(FileLocation((folder / "cut").c_str())), NoMoreData);

    WriteText(folder / "trailing", bytes + "trailing bytes");
    EXPECT_EQ(ReadCompressedFile(FileLocation((folder / "trailing").c_str())), content);
}

// A target that holds bytes until it ends would overwrite a checksum stored before its End.
TEST(CompressedFileWriter, StoresTheChecksumAfterABufferingTargetHasEnded) {
    TemporaryFolder folder;
    FileLocation file((folder / "c").c_str());
    std::string content = "short content";
    {
        PosixPlatform::FileWritingPath path(file);
        FileDataSink sink(path, 0);
        DataBufferer<4096> buffered(sink);
        CompressedFileWriter writer(buffered, file);
        ReceiveComplete(writer, ConstData(content));
    }
    std::string bytes = ReadText(file.GetPathString());
    EXPECT_EQ(StoredChecksum(bytes), ChecksumOfRange(ConstData(content)));
    EXPECT_EQ(RemoveCompression(bytes, 4096).content, content);

    std::string unplaced;
    StringReceiver target(unplaced);
    CompressedFileWriter writer(target);
    ReceiveComplete(writer, ConstData(content));
    EXPECT_EQ(StoredChecksum(unplaced), 0u) << "without the file's location the checksum stays zero";
}

TEST(CompressedFileChunkReader, DeliversTheContentWindowByWindow) {
    TemporaryFolder folder;
    FileLocation file((folder / "c").c_str());
    for (const std::string& content : {std::string(), CompressibleText(30'000)}) {
        WriteCompressedFile(file, content);
        Byte buffer[3000];
        CompressedFileChunkReader chunks(OutputRange(buffer, sizeof buffer));
        std::string read;
        for (chunks.Open(file); chunks.HasMore(); chunks.Refill()) {
            EXPECT_LE(chunks.Window().Length(), sizeof buffer);
            read.append(chunks.Window().Chars(), chunks.Window().Length());
        }
        EXPECT_EQ(read, content);
    }
}

TEST(ZlibDataMaker, InflatesWhatItDeflatedHoweverTheStreamIsCut) {
    std::string content = CompressibleText(60'000) + RandomBytes(3'000);
    std::string compressed;
    StringReceiver compressedTarget(compressed);
    ZlibCompressingDataMaker deflater;
    deflater.set(compressedTarget);
    ReceiveComplete(deflater, ConstData(content));
    for (std::size_t piece : {std::size_t{1}, std::size_t{333}, compressed.size()}) {
        std::string inflated;
        StringReceiver target(inflated);
        ZlibDecompressingDataMaker inflater;
        inflater.set(target);
        inflater.Begin();
        for (std::size_t from = 0; from < compressed.size(); from += piece)
            inflater.Receive(ConstData(compressed.data() + from, std::min(piece, compressed.size() - from)));
        inflater.End();
        EXPECT_EQ(inflated, content) << piece;
    }
    std::string ignored;
    StringReceiver target(ignored);
    ZlibDecompressingDataMaker inflater;
    inflater.set(target);
    inflater.Begin();
    inflater.Receive(ConstData(compressed.data(), compressed.size() / 2));
    EXPECT_THROW(inflater.End(), ZlibError) << "a truncated stream";
}

TEST(FileAppendingDataSink, AppendsEachStreamAndCutsAnAbandonedOneBack) {
    TemporaryFolder folder;
    FileLocation file((folder / "log").c_str());
    FileAppendingDataSink sink(file);
    ReceiveComplete(sink, ConstData(std::string_view("one ")));
    ReceiveComplete(sink, ConstData(std::string_view("two ")));
    EXPECT_EQ(ReadText(file.GetPathString()), "one two ");
    {
        FileAppendingDataSink abandoned(file);
        abandoned.Begin();
        abandoned.Receive(ConstData(std::string_view("half a stream")));
    }
    EXPECT_EQ(ReadText(file.GetPathString()), "one two ");
    sink.Begin();
    sink.Receive(ConstData(std::string_view("three")));
    sink.Open(FileLocation((folder / "other").c_str()));
    EXPECT_EQ(ReadText(file.GetPathString()), "one two ");
    ReceiveComplete(sink, ConstData(std::string_view("elsewhere")));
    EXPECT_EQ(ReadText(folder / "other"), "elsewhere");
}

TEST(CompressedFile, WholeFilesAreCompressedAndExpandedInPlaceOfTheirTargets) {
    TemporaryFolder folder;
    auto at = [&](const char* name) { return FileLocation((folder / name).c_str()); };
    const std::string content = CompressibleText(100'000);
    WriteWholeFile(ConstData(content), at("plain"));

    CompressFile(at("plain"), at("compressed"));
    ExpandFile(at("compressed"), at("expanded"), 0);
    EXPECT_EQ(ReadFileText(at("expanded")), content);
    WriteWholeFile(ConstData(std::string_view(CompressedFileBytes(content))), at("made"));
    ExpandFile(at("made"), at("expanded"), 0);
    EXPECT_EQ(ReadFileText(at("expanded")), content) << "the test maker's compressed file";

    ExpandFile(at("plain"), at("copied"), 0);  // a file not compressed is copied as it is
    EXPECT_EQ(ReadFileText(at("copied")), content);

    // A failed expansion leaves the target as it was.
    WriteWholeFile(ConstData(std::string_view("old")), at("kept"));
    EXPECT_THROW(ExpandFile(at("compressed"), at("kept"), content.size() - 1), ByteLimitExceeded);
    std::string corrupt = ReadFileText(at("compressed"));
    corrupt[9] ^= 0x01;  // the checksum
    WriteWholeFile(ConstData(std::string_view(corrupt)), at("corrupt"));
    EXPECT_THROW(ExpandFile(at("corrupt"), at("kept"), 0), CompressedFileChecksumError);
    EXPECT_EQ(ReadFileText(at("kept")), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 7) << "no temporary file left";
}
