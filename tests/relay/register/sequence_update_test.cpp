#include "relay/register/sequence_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "base/const_data_reader.h"
#include "relay/register/registration_test_support.h"

namespace {

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string Body(const std::string& header, std::uint32_t count, const std::string& records) {
    return header + BigEndian32(count) + records;
}

std::string Record(std::uint32_t id, std::uint32_t value) { return BigEndian32(id) + BigEndian32(value); }

// Hands out the body at most `step` bytes at a time, as a socket might.
class FragmentingReader : public DataReader {
  public:
    FragmentingReader(const std::string& data, std::size_t step) : m_data(data), m_step(step) {}
    bool AtEnd() override { return m_offset == m_data.size(); }
    void ReadSome(OutputRange& range) override {
        const std::size_t n = std::min({m_step, range.Room(), m_data.size() - m_offset});
        std::copy_n(m_data.data() + m_offset, n, range.begin);
        range.begin += n;
        m_offset += n;
    }

  private:
    std::string m_data;
    std::size_t m_step;
    std::size_t m_offset = 0;
};

// The error text of applying the body to the list, empty on success.
std::string Apply(const std::string& body, ClientRegistrationList& list, std::size_t step) {
    FragmentingReader reader(body, step);
    try {
        UpdateSequenceNumbers(reader, list);
        return "";
    } catch (const std::exception& error) {
        return error.what();
    }
}

const std::string kHeader = "KVRSequenceUpdate 1.0";

}  // namespace

TEST(UpdateSequenceNumbers, BodiesAndTheirOutcomeAtEveryFragmentSize) {
    const struct {
        const char* name;
        std::string body;
        std::string error;
        std::uint32_t sequenceOf1;  // what the body leaves on computer 1 (listed with 0)
    } cases[] = {
        {"no records", Body(kHeader, 0, ""), "", 0},
        {"lower-case header", Body("kvrsequenceupdate 1.0", 1, Record(1, 7)), "", 7},
        {"an unlisted computer is counted and ignored", Body(kHeader, 2, Record(99, 5) + Record(1, 8)), "", 8},
        {"the last record for a computer wins", Body(kHeader, 2, Record(1, 3) + Record(1, 4)), "", 4},
        {"three bytes beyond two records", Body(kHeader, 2, Record(1, 6) + Record(2, 6) + "abc"),
         "Sequence update expected 2 records, but received 2 records.", 6},
        {"a record beyond the count", Body(kHeader, 1, Record(2, 1) + Record(1, 5)),
         "Sequence update expected 1 records, but received 2 records.", 5},
        {"a record short", Body(kHeader, 3, Record(1, 2)), "Sequence update expected 3 records, but received 1 records.",
         2},
        {"another header", Body("KVRSequenceUpdate 1.1", 0, ""), "Unsupported sequence update header.", 0},
        {"a body of 24 bytes", kHeader + std::string(3, '\0'), "class NoMoreData", 0},
        {"an empty body", "", "class NoMoreData", 0},
    };
    for (std::size_t step : {1, 3, 7, 8, 4096}) {
        for (const auto& c : cases) {
            ListInFolder list(ListLine(1, NowInSecondsForTest()) + ListLine(2, NowInSecondsForTest(), 2));
            EXPECT_EQ(Apply(c.body, list.List(), step), c.error) << c.name << ", step " << step;
            EXPECT_EQ(list.Item(1).updateSequence, c.sequenceOf1) << c.name << ", step " << step;
        }
    }
}

// Records cut anywhere across Receive calls are put together again.
TEST(SequenceUpdatingDataSink, RecordsSplitAcrossChunksAreAppliedWhole) {
    ListInFolder list(ListLine(1, NowInSecondsForTest()) + ListLine(2, NowInSecondsForTest(), 2));
    const std::string records = Record(1, 0x01020304) + Record(2, 0xfffffffe);
    for (std::size_t cut = 0; cut <= records.size(); ++cut) {
        SequenceUpdatingDataSink sink(list.List(), 2);
        sink.Begin();
        sink.Receive(ConstData(std::string_view(records).substr(0, cut)));
        sink.Receive(ConstData(std::string_view(records).substr(cut)));
        EXPECT_NO_THROW(sink.End()) << cut;
        EXPECT_EQ(sink.ReceivedRecords(), 2u);
        EXPECT_EQ(list.Item(1).updateSequence, 0x01020304u);
        EXPECT_EQ(list.Item(2).updateSequence, 0xfffffffeu);
    }
}
