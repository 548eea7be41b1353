#include "base/data_pipeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/checksum_receiver.h"
#include "foundation/data_bufferer.h"
#include "foundation/data_filterer.h"
#include "foundation/data_ranges.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "foundation/name_table.h"
#include "support/pipeline_recorders.h"

using Calls = std::vector<std::string>;

namespace {
ConstData Text(const std::string& text) {
    return ConstData(text.data(), text.size());
}
}  // namespace

TEST(PumpData, EmptyReaderGivesOnlyBeginAndEnd) {
    RecordingReceiver receiver;
    PumpData(EmptyDataReader::Instance(), receiver);
    EXPECT_EQ(receiver.calls, (Calls{"Begin", "End"}));
}

TEST(PumpData, PassesEachReadOnIncludingEmptyOnes) {
    ChunkReader reader({"ab", "", "c"});
    RecordingReceiver receiver;
    PumpData(reader, receiver);
    EXPECT_EQ(receiver.calls, (Calls{"Begin", "Receive(ab)", "Receive()", "Receive(c)", "End"}));
}

TEST(DataReader, ReadIntoFillsTheRangeOrThrowsNoMoreData) {
    ChunkReader reader({"ab", "cd", "e"});
    Byte buffer[4] = {};
    reader.ReadInto(buffer, buffer);  // an empty range reads nothing
    reader.ReadInto(buffer, buffer + 3);
    EXPECT_EQ(std::string(buffer, buffer + 3), "abc");
    Byte rest[4] = {};
    EXPECT_THROW(reader.ReadInto(rest, rest + 4), NoMoreData);
    EXPECT_EQ(std::string(rest, rest + 2), "de");  // what was read stays
}

TEST(ReceiveComplete, WrapsRangesInBeginAndEnd) {
    RecordingReceiver receiver;
    ReceiveComplete(receiver, ConstData(std::string_view("xy")));
    std::string a = "a", b = "bc";
    ConstData ranges[] = {Text(a), Text(b)};
    ReceiveCompleteEach(receiver, ranges);
    receiver.ReceiveEach(ranges);
    EXPECT_EQ(receiver.calls, (Calls{"Begin", "Receive(xy)", "End", "Begin", "Receive(a)", "Receive(bc)",
                                     "End", "Receive(a)", "Receive(bc)"}));
}

TEST(GenericStages, StringReceiverAppenderAndIgnore) {
    std::string target = "old";
    StringReceiver collect(target);
    ReceiveComplete(collect, ConstData(std::string_view("new")));
    EXPECT_EQ(target, "new");

    DataAppender appender;
    collect.Begin();
    collect.Write(ConstData(std::string_view("1")));
    ReceiveComplete(appender.SetTarget(collect), ConstData(std::string_view("23")));
    EXPECT_EQ(target, "123");  // the appender neither began nor ended the target

    ReceiveComplete(IgnoreDataReceiver::Instance(), ConstData(std::string_view("gone")));

    // A tee hands the whole stream to both targets.
    std::string first, second;
    StringReceiver toFirst(first), toSecond(second);
    DataTee2 tee;
    ReceiveCompleteEach(
        tee.SetTargets(toFirst, toSecond),
        std::vector<ConstData>{ConstData(std::string_view("a")), ConstData(std::string_view("bc"))});
    EXPECT_EQ(first, "abc");
    EXPECT_EQ(second, "abc");
}

TEST(ByteLimitedReceiver, PassesAStreamUpToItsLimit) {
    std::string target;
    StringReceiver collect(target);
    ByteLimitedReceiver<> bounded;
    bounded.SetUp(collect, 5);
    ReceiveCompleteEach(bounded, std::vector<ConstData>{ConstData(std::string_view("abc")), ConstData(std::string_view("de"))});
    EXPECT_EQ(target, "abcde");

    bounded.Begin();
    bounded.Receive(ConstData(std::string_view("abcd")));
    EXPECT_THROW(bounded.Receive(ConstData(std::string_view("ef"))), ByteLimitExceeded);
    EXPECT_EQ(target, "abcd");  // the chunk that passes the limit never arrives
}

TEST(ChecksumReceiver, IsCrc32Bzip2) {
    EXPECT_EQ(ChecksumOfRange(ConstData(std::string_view("123456789"))), 0xFC891918u);
    EXPECT_EQ(ChecksumOfRange(ConstData()), 0u);

    // Fed in pieces, and reset by Begin for a second stream.
    ChecksumReceiver receiver;
    ReceiveComplete(receiver, ConstData(std::string_view("abc")));
    receiver.Begin();
    receiver.Write(ConstData(std::string_view("1234")));
    receiver.Write(ConstData());
    receiver.Write(ConstData(std::string_view("56789")));
    receiver.End();
    EXPECT_EQ(receiver.Checksum(), 0xFC891918u);
}

TEST(DataBufferer, PassesWholeBuffersUntilEnd) {
    struct Case {
        std::vector<std::size_t> chunks;
        std::vector<std::size_t> beforeEnd;  // chunk lengths the target saw before End
        std::size_t atEnd;
    };
    const Case cases[] = {
        {{4096}, {}, 4096},
        {{10000}, {4096, 4096}, 1808},
        {{4095, 1}, {}, 4096},
        {{4095, 2}, {4096}, 1},
        {{0}, {}, 0},
        {{}, {}, 0},
        {{100, 8192}, {4096, 4096}, 100},
        {{3000, 3000, 3000}, {4096, 4096}, 808},
    };
    for (const Case& c : cases) {
        std::string input;
        RecordingReceiver target;
        DataBufferer<0x1000> bufferer(target);
        bufferer.Begin();
        for (std::size_t length : c.chunks) {
            std::string chunk;
            for (std::size_t i = 0; i < length; ++i)
                chunk += static_cast<char>('a' + (input.size() + i) % 26);
            input += chunk;
            bufferer.Write(Text(chunk));
        }
        Calls expected{"Begin"};
        std::size_t offset = 0;
        for (std::size_t length : c.beforeEnd) {
            expected.push_back("Receive(" + input.substr(offset, length) + ")");
            offset += length;
        }
        EXPECT_EQ(target.calls, expected);
        bufferer.End();
        expected.push_back("Receive(" + input.substr(offset, c.atEnd) + ")");
        expected.push_back("End");
        EXPECT_EQ(target.calls, expected);
        EXPECT_EQ(offset + c.atEnd, input.size());
    }
}

namespace {
// Consumes nothing and produces nothing: what a decompressor past the end of its stream does with
// trailing bytes.
class StuckFilter : public DataFilter {
  public:
    void Filter(ConstData&, OutputRange&) override {}
    bool IsComplete() override { return !holdsOutput; }
    bool holdsOutput = false;
};

// Doubles every byte, holding the second copy when the output is full.
class DoublingFilter : public DataFilter {
  public:
    void Filter(ConstData& input, OutputRange& output) override {
        while (!output.IsFull()) {
            if (m_pending != 0) {
                *output.begin++ = m_pending;
                m_pending = 0;
            } else if (!input.IsEmpty()) {
                *output.begin++ = *input.begin;
                m_pending = *input.begin++;
            } else {
                break;
            }
        }
    }
    bool IsComplete() override { return m_pending == 0; }
    void Finish(OutputRange& output) override { Filter(m_none, output); }

  private:
    Byte m_pending = 0;
    ConstData m_none;
};
}  // namespace

TEST(DataFilterer, FiltersThroughSmallBuffersAndDrainsAtEnd) {
    std::string input(1500, 'x');
    std::string result;
    StringReceiver collect(result);
    DoublingFilter doubling;
    FilterRangeInto(collect, Text(input), doubling);
    EXPECT_EQ(result, std::string(3000, 'x'));

    RecordingReceiver target;
    DataFilterer filterer(doubling, target);
    filterer.Begin();
    filterer.Write(ConstData());  // an empty chunk calls nothing
    filterer.End();
    EXPECT_EQ(target.calls, (Calls{"Begin", "End"}));
}

TEST(DataFilterer, ThrowsOnAFilterThatMakesNoProgress) {
    StuckFilter stuck;
    RecordingReceiver target;
    DataFilterer filterer(stuck, target);
    filterer.Begin();
    EXPECT_THROW(filterer.Write(ConstData(std::string_view("trailing"))), DataFilterStalled);

    stuck.holdsOutput = true;
    EXPECT_THROW(filterer.End(), DataFilterStalled);
}

TEST(DataFilter, BaseCopiesWhatFitsAndFilterIntoLeavesTheInput) {
    DataFilter copy;
    ConstData input(std::string_view("abcdef"));
    Byte buffer[4];
    OutputRange output(buffer, sizeof buffer);
    copy.Filter(input, output);
    EXPECT_EQ(input.View(), "ef");
    EXPECT_TRUE(output.IsFull());

    OutputRange second(buffer, sizeof buffer);
    copy.FilterInto(input, second);
    EXPECT_EQ(input.View(), "ef");
    EXPECT_EQ(std::string(buffer, second.begin), "ef");
    EXPECT_TRUE(copy.IsComplete());
}

TEST(DataRangeList, JoinsAndCopiesPieces) {
    DataRangeList<1> one(ConstData(std::string_view("/usr")));
    DataRangeList<2> two(one, ConstData(std::string_view("/")));
    DataRangeList<3> three(two, ConstData(std::string_view("lib")));
    EXPECT_EQ(TotalDataRangeLength(three.Ranges()), 8u);
    std::vector<Byte> joined = JoinDataRanges(three.Ranges());
    EXPECT_EQ(std::string(joined.begin(), joined.end()), "/usr/lib");

    FormatArgs4 four(three, ConstData(std::string_view("/x")));
    EXPECT_EQ(JoinDataRangesToString(FormatArgs5(four, ConstData()).Ranges()), "/usr/lib/x");

    Byte small[6];
    OutputRange rest = CopyDataRanges(OutputRange(small, sizeof small), three.Ranges());
    EXPECT_EQ(std::string(small, rest.begin), "/usr/l");
    EXPECT_TRUE(rest.IsFull());
}

TEST(FindInSortedNameTable, FindsExactNamesOnly) {
    const NameTableEntry table[] = {{"a", 1}, {"ab", 2}, {"abc", 3}, {"b", 4}, {"z\xc3", 5}};
    struct Case {
        std::string_view key;
        int value;  // 0: not found
    };
    const Case cases[] = {{"a", 1},     {"ab", 2}, {"abc", 3}, {"b", 4},
                          {"z\xc3", 5}, {"", 0},   {"A", 0},   {"abcd", 0},
                          {"aa", 0},    {"c", 0},  {"z", 0},   {std::string_view("a\0", 2), 0}};
    for (const Case& c : cases) {
        const std::uint32_t* found = FindInSortedNameTable(table, ConstData(c.key));
        if (c.value == 0)
            EXPECT_EQ(found, nullptr) << c.key;
        else
            EXPECT_TRUE(found && *found == static_cast<std::uint32_t>(c.value)) << c.key;
    }
    EXPECT_EQ(FindInSortedNameTable({}, ConstData(std::string_view("a"))), nullptr);
}
