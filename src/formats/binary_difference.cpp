#include "formats/binary_difference.h"

#include <algorithm>

namespace {

constexpr Byte kOperationMask = 0xF0;
constexpr Byte kLengthCountMask = 0x0F;
constexpr Byte kInsert = 0x10;
constexpr Byte kSkip = 0x20;
constexpr Byte kCopy = 0x40;
constexpr std::uint32_t kMaximumLengthBytes = 4;
// The block applier's lengths are signed 32-bit counts where the format comes from.
constexpr std::uint32_t kMaximumBlockLength = 0x7FFFFFFF;
constexpr std::size_t kBlockChunk = 1024;

bool IsLengthCount(std::uint32_t count) {
    return count >= 1 && count <= kMaximumLengthBytes;
}

// The bytes of one archive member's difference, counted down as they are read.
class BlockRecords {
  public:
    BlockRecords(DataReader& source, std::uint64_t length) : m_source(source), m_remaining(length) {}

    bool HasMore() const { return m_remaining != 0; }
    // Reads bytes of the difference; a read beyond its length is FormatError.
    void Read(Byte* begin, std::size_t count) {
        if (count > m_remaining) throw FormatError();
        m_remaining -= count;
        m_source.ReadInto(begin, begin + count);
    }
    void Reserve(std::uint64_t count) {
        if (count > m_remaining) throw FormatError();
    }

  private:
    DataReader& m_source;
    std::uint64_t m_remaining;
};

}  // namespace

void ApplyDifferenceBlock(DataReader& difference, std::uint64_t differenceLength, FileReader& oldFile,
                          FileWriter& output, DataReceiver& digest, std::uint64_t maximumOutput) {
    BlockRecords records(difference, differenceLength);
    Byte buffer[kBlockChunk];
    std::uint64_t produced = 0;
    auto pass = [&](std::size_t count) {
        output.Write(buffer, buffer + count);
        digest.Receive(buffer, buffer + count);
    };
    while (records.HasMore()) {
        Byte tag = 0;
        records.Read(&tag, 1);
        const std::uint32_t lengthCount = tag & kLengthCountMask;
        if (!IsLengthCount(lengthCount)) throw FormatError();
        Byte lengthBytes[kMaximumLengthBytes] = {};
        records.Read(lengthBytes, lengthCount);
        std::uint32_t length = 0;
        for (std::uint32_t i = lengthCount; i-- > 0;) length = (length << 8) | lengthBytes[i];
        if (length > kMaximumBlockLength) throw FormatError();
        const Byte operation = tag & kOperationMask;
        if (operation == kSkip) {
            oldFile.Skip(length);
            continue;
        }
        if (operation != kInsert && operation != kCopy) throw FormatError();
        if (operation == kInsert) records.Reserve(length);
        if (length > maximumOutput - produced) throw FormatError();
        produced += length;
        for (std::uint32_t left = length; left != 0;) {
            const std::size_t chunk = std::min<std::size_t>(left, kBlockChunk);
            if (operation == kInsert)
                records.Read(buffer, chunk);
            else
                oldFile.ReadInto(buffer, buffer + chunk);
            pass(chunk);
            left -= static_cast<std::uint32_t>(chunk);
        }
    }
}

void DifferenceMaker::Begin() {
    m_lengthBytesDue = 0;
    m_literalBytesDue = 0;
    m_target->Begin();
}

void DifferenceMaker::TakeLengthByte(Byte byte) {
    m_length |= std::uint32_t{byte} << m_shift;
    m_shift += 8;
    if (--m_lengthBytesDue != 0) return;
    switch (m_operation) {
        case kInsert: m_literalBytesDue = m_length; break;
        case kSkip: m_target->Skip(m_length); break;
        case kCopy: m_target->Copy(m_length); break;
        default: throw IllFormedDifferenceData();
    }
}

void DifferenceMaker::Receive(const Byte* begin, const Byte* end) {
    const Byte* p = begin;
    while (p != end) {
        if (m_literalBytesDue != 0) {
            const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::size_t>(m_literalBytesDue, end - p));
            m_target->Insert(p, p + count);
            m_literalBytesDue -= count;
            p += count;
        } else if (m_lengthBytesDue != 0) {
            TakeLengthByte(*p++);
        } else {
            const Byte tag = *p++;
            m_operation = tag & kOperationMask;
            m_lengthBytesDue = tag & kLengthCountMask;
            m_length = 0;
            m_shift = 0;
            if (!IsLengthCount(m_lengthBytesDue)) throw IllFormedDifferenceData();
        }
    }
}

void DifferenceMaker::End() {
    if (m_lengthBytesDue != 0 || m_literalBytesDue != 0) throw IllFormedDifferenceData();
    m_target->End();
}

void DifferenceExpander::Begin() {
    m_produced = 0;
    m_output.Begin();
}

void DifferenceExpander::Produce(std::uint64_t count) {
    if (count > m_maximumOutput - m_produced) throw IllFormedDifferenceData();
    m_produced += count;
}

void DifferenceExpander::Insert(const Byte* begin, const Byte* end) {
    Produce(static_cast<std::uint64_t>(end - begin));
    m_output.Receive(begin, end);
}

void DifferenceExpander::Skip(std::uint32_t count) {
    m_oldFile.Skip(count);
}

// A copy record may be 4 GiB long: it goes through the one buffer in chunks.
void DifferenceExpander::Copy(std::uint32_t count) {
    Produce(count);
    Byte* buffer = m_copyBuffer.get();
    for (std::uint32_t left = count; left != 0;) {
        const std::size_t chunk = std::min<std::size_t>(left, kCopyChunk);
        m_oldFile.ReadInto(buffer, buffer + chunk);
        m_output.Receive(buffer, buffer + chunk);
        left -= static_cast<std::uint32_t>(chunk);
    }
}

void DifferenceExpander::End() {
    m_output.End();
}
