#include "formats/binary_difference.h"

#include <gtest/gtest.h>

#include <string>

#include "base/const_data_reader.h"
#include "formats/chunked_input_support.h"
#include "foundation/data_stages.h"
#include "foundation/whole_file.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

const std::string kOld = "0123456789";
constexpr std::uint64_t kNoLimit = 1'000'000;

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

// The new file, or the class of the failure, from either reader of the format.
class Differences : public ::testing::Test {
  protected:
    Differences() { WriteFileBytes(m_folder / "old", kOld); }

    // The block applier over the whole difference: what it wrote, checked against what the digest got.
    std::string Block(const std::string& difference, std::uint64_t maximumOutput = kNoLimit) {
        PosixPlatform::FileReadingPath oldPath(FileLocation((m_folder / "old").c_str()));
        FileReader oldFile(oldPath);
        PosixPlatform::FileWritingPath newPath(FileLocation((m_folder / "new").c_str()));
        FileWriter output(newPath, 0);
        std::string digested;
        StringReceiver digest(digested);
        digest.Begin();
        ConstDataReader source((ConstData(std::string_view(difference))));
        try {
            ApplyDifferenceBlock(source, difference.size(), oldFile, output, digest, maximumOutput);
        } catch (const std::exception& failure) {
            return failure.what();
        }
        newPath.Close();
        const std::string written = ReadFileText(FileLocation((m_folder / "new").c_str()));
        EXPECT_EQ(written, digested);
        return written;
    }

    // The streaming pair, with the difference cut every way: the same outcome each time.
    std::string Stream(const std::string& difference, std::uint64_t maximumOutput = kNoLimit) {
        auto run = [&](const std::vector<std::size_t>& cutting) {
            ChunkedOutcome<char> outcome;
            PosixPlatform::FileReadingPath oldPath(FileLocation((m_folder / "old").c_str()));
            FileReader oldFile(oldPath);
            std::string produced;
            StringReceiver output(produced);
            DifferenceExpander expander(oldFile, output, maximumOutput);
            DifferenceMaker maker(expander);
            try {
                maker.Begin();
                std::size_t from = 0;
                for (std::size_t end : cutting) {
                    maker.Receive(ConstData(difference.data() + from, end - from));
                    from = end;
                }
                maker.End();
                outcome.ended = true;
            } catch (const std::exception& failure) {
                outcome.error = failure.what();
            }
            outcome.output.assign(produced.begin(), produced.end());
            return outcome;
        };
        const ChunkedOutcome<char> outcome = ExpectSameOutcomeForAllCuttings<char>(difference.size(), run);
        return outcome.error.empty() ? std::string(outcome.output.begin(), outcome.output.end()) : outcome.error;
    }

    TemporaryFolder m_folder;
};

const std::string kFormatError = "class FormatError";
const std::string kIllFormed = "class IllFormedDifferenceData";
const std::string kNoMoreData = "class NoMoreData";

}  // namespace

TEST_F(Differences, RecordsTable) {
    struct Case {
        const char* title;
        std::string difference;
        std::string block;   // the new file, or the failure's class
        std::string stream;
    };
    const Case cases[] = {
        {"an empty difference", "", "", ""},
        {"insert", Bytes({0x11, 0x03}) + "abc", "abc", "abc"},
        {"copy", Bytes({0x41, 0x05}), "01234", "01234"},
        {"skip, then copy", Bytes({0x21, 0x05, 0x41, 0x02}), "56", "56"},
        {"zero lengths do nothing", Bytes({0x41, 0x00, 0x21, 0x00, 0x11, 0x00, 0x41, 0x01}), "0", "0"},
        {"two length bytes, little-endian", Bytes({0x12, 0x02, 0x00}) + "xy" + Bytes({0x42, 0x03, 0x00}), "xy012",
         "xy012"},
        {"no length bytes", Bytes({0x10, 0x00}), kFormatError, kIllFormed},
        {"five length bytes", Bytes({0x15, 0x01, 0, 0, 0, 0}), kFormatError, kIllFormed},
        {"an unknown operation after its length", Bytes({0x31, 0x00}), kFormatError, kIllFormed},
        {"operation 0", Bytes({0x01, 0x00}), kFormatError, kIllFormed},
        {"a skip of 2^31 bytes", Bytes({0x24, 0x00, 0x00, 0x00, 0x80}), kFormatError, ""},
        {"a skip beyond the old file", Bytes({0x21, 0x20}), "", ""},
        {"a copy from beyond the old file", Bytes({0x21, 0x20, 0x41, 0x01}), kNoMoreData, kNoMoreData},
        {"a copy past the old file's end", Bytes({0x41, 0x0B}), kNoMoreData, kNoMoreData},
        {"a stream ending inside a length", Bytes({0x12, 0x05}), kFormatError, kIllFormed},
        {"a stream ending inside literal bytes", Bytes({0x11, 0x05}) + "ab", kFormatError, kIllFormed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Block(c.difference), c.block);
        EXPECT_EQ(Stream(c.difference), c.stream);
    }
}

TEST_F(Differences, OutputBeyondTheExpectedSizeIsRefused) {
    const std::string insert = Bytes({0x11, 0x03}) + "abc";
    const std::string copy = Bytes({0x41, 0x04});
    EXPECT_EQ(Block(insert + copy, 7), "abc0123");
    EXPECT_EQ(Stream(insert + copy, 7), "abc0123");
    EXPECT_EQ(Block(insert + copy, 6), kFormatError);
    EXPECT_EQ(Stream(insert + copy, 6), kIllFormed);
    EXPECT_EQ(Stream(insert, 2), kIllFormed);
}

TEST_F(Differences, ADifferenceOfTheTestMakerRebuildsTheNewFile) {
    const std::string newBytes = "01x23y456789z";
    const std::string difference = DifferenceBytes(kOld, newBytes);
    EXPECT_EQ(Block(difference), newBytes);
    EXPECT_EQ(Stream(difference), newBytes);
}
