#include "relay/register/sequence_update.h"

#include <algorithm>
#include <string>

#include "base/character_classes.h"
#include "foundation/endian.h"

namespace {

constexpr std::string_view kSequenceUpdateHeader = "KVRSequenceUpdate 1.0";
constexpr std::size_t kCountSize = 4;

}  // namespace

SequenceUpdateCountMismatch::SequenceUpdateCountMismatch(std::uint32_t expected, std::uint32_t received)
    : ExceptionPL("Sequence update expected " + std::to_string(expected) + " records, but received " +
                  std::to_string(received) + " records.") {}

void SequenceUpdatingDataSink::Receive(const Byte* begin, const Byte* end) {
    while (begin != end) {
        const std::size_t take = std::min<std::size_t>(kRecordSize - m_recordFill, end - begin);
        std::copy(begin, begin + take, m_record + m_recordFill);
        m_recordFill += take;
        begin += take;
        if (m_recordFill == kRecordSize) ApplyRecord();
    }
}

void SequenceUpdatingDataSink::ApplyRecord() {
    std::uint32_t computerID = 0;
    std::uint32_t value = 0;
    ReadBigEndian32(ReadBigEndian32(ConstData(m_record, kRecordSize), computerID), value);
    m_list.SetPendingValue(computerID, value);
    ++m_receivedRecords;
    m_recordFill = 0;
}

void SequenceUpdatingDataSink::End() {
    if (m_receivedRecords != m_expectedRecords || m_recordFill != 0)
        throw SequenceUpdateCountMismatch(m_expectedRecords, m_receivedRecords);
}

void UpdateSequenceNumbers(DataReader& body, ClientRegistrationList& list) {
    Byte header[kSequenceUpdateHeader.size()];
    body.ReadInto(header, header + sizeof header);
    if (!Ascii::EqualIgnoringCase(ConstData(header, sizeof header), ConstData(kSequenceUpdateHeader)))
        throw UnsupportedSequenceUpdateHeader();

    Byte count[kCountSize];
    body.ReadInto(count, count + sizeof count);
    std::uint32_t expectedRecords = 0;
    ReadBigEndian32(ConstData(count, sizeof count), expectedRecords);

    SequenceUpdatingDataSink sink(list, expectedRecords);
    PumpData(body, sink);
}
