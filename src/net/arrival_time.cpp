#include "net/arrival_time.h"

#include <algorithm>
#include <limits>

#include "foundation/endian.h"

namespace {

constexpr Byte kBackChannelVersion = 0;
constexpr std::uint64_t kLargestRecordBytes = std::numeric_limits<std::uint32_t>::max();

}  // namespace

void ArrivalTimeWriter::StartArrivals() {
    m_total = 0;
    m_target.Begin();
    Byte version = kBackChannelVersion;
    m_target.Receive(&version, &version + 1);
}

void ArrivalTimeWriter::ReceiveArrival(std::uint64_t offset, std::uint64_t bytes, std::uint64_t arrivalTime) {
    do {
        std::uint64_t part = std::min(bytes, kLargestRecordBytes);
        Byte record[8];
        OutputRange output(record, sizeof record);
        WriteUInt32BigEndian(output, static_cast<std::uint32_t>(part));
        WriteUInt32BigEndian(output, static_cast<std::uint32_t>(arrivalTime));
        m_target.Receive(record, record + sizeof record);
        m_total += part;
        bytes -= part;
    } while (bytes != 0);
}

void ArrivalTimeWriter::FinishArrivals() {
    m_target.End();
}

void ArrivalTimeReader::Begin() {
    m_recordLength = 0;
    m_versionSeen = false;
    m_version = 0;
    m_total = 0;
    m_lastTime = 0;
    m_wraps = 0;
    m_target.StartArrivals();
}

void ArrivalTimeReader::Receive(const Byte* begin, const Byte* end) {
    if (begin != end && !m_versionSeen) {
        m_version = *begin++;
        m_versionSeen = true;
    }
    if (m_version != kBackChannelVersion) return;
    while (begin != end) {
        std::size_t taken =
            std::min<std::size_t>(static_cast<std::size_t>(end - begin), kRecordSize - m_recordLength);
        std::copy(begin, begin + taken, m_record.begin() + m_recordLength);
        begin += taken;
        m_recordLength += taken;
        if (m_recordLength == kRecordSize) ReceiveRecord();
    }
}

void ArrivalTimeReader::ReceiveRecord() {
    m_recordLength = 0;
    std::uint32_t bytes, time;
    ConstData rest = ReadBigEndian32(ConstData(m_record.data(), m_record.size()), bytes);
    ReadBigEndian32(rest, time);
    if (time < m_lastTime) ++m_wraps;
    m_lastTime = time;
    std::uint64_t offset = m_total;
    m_total += bytes;
    m_target.ReceiveArrival(offset, bytes, (m_wraps << 32) + time);
}

void ArrivalTimeReader::End() {
    m_target.FinishArrivals();
}

ArrivalTimeMaker::ArrivalTimeMaker()
    : m_throttle(m_policy, kReserveFactor, kHalfLife, kMinimumChunk, kMaximumChunk, kDebtCap),
      m_reader(m_policy) {}

void ArrivalTimeMaker::ReceiveAt(std::uint64_t now, ConstData bytes) {
    m_policy.SetReportTime(now);
    m_reader.Receive(bytes);
}
