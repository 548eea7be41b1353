// CRC-32/BZIP2 over a stream: polynomial 0x04C11DB7, most significant bit first, initial value all
// ones, no reflection, the finished value complemented. This is the checksum of the compressed-file
// format; it is not zlib's (reflected) CRC-32. For "123456789" it is 0xFC891918.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class ChecksumReceiver : public DataReceiver, public DataWriter {
  public:
    // Begin resets the running value to all ones.
    void Begin() override { m_crc = 0xFFFFFFFFu; }
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override {}

    // The running value, not yet complemented.
    std::uint32_t RunningValue() const { return m_crc; }
    // The finished CRC of what was received since Begin.
    std::uint32_t Checksum() const { return ~m_crc; }

  private:
    std::uint32_t m_crc = 0xFFFFFFFFu;
};

// The finished CRC of one range.
std::uint32_t ChecksumOfRange(ConstData data);
