#include "foundation/checksum_receiver.h"

#include <array>

namespace {

constexpr std::uint32_t kPolynomial = 0x04C11DB7u;

// Entry i is the CRC register after shifting the byte i through it from the top.
constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
        table[i] = value;
    }
    return table;
}

// Computed at compile time, so the table needs no start-up and is the same in every thread.
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

void ChecksumReceiver::Receive(const Byte* begin, const Byte* end) {
    std::uint32_t crc = m_crc;
    for (const Byte* p = begin; p != end; ++p) crc = (crc << 8) ^ kCrcTable[(crc >> 24) ^ *p];
    m_crc = crc;
}

std::uint32_t ChecksumOfRange(ConstData data) {
    ChecksumReceiver receiver;
    ReceiveComplete(receiver, data);
    return receiver.Checksum();
}
