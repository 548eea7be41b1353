// DigestRecord: a message digest of up to 64 bytes held by value (SHA-1 to SHA-512), with its length.
// A digest longer than 64 bytes is stored as empty, and an empty record equals no record, itself
// included.
#pragma once

#include <cstdint>
#include <string>

#include "base/const_data.h"

class DigestRecord {
  public:
    static constexpr std::size_t kCapacity = 64;

    DigestRecord() = default;
    DigestRecord(const Byte* begin, const Byte* end);

    ConstData Bytes() const { return ConstData(m_bytes, m_length); }
    bool IsEmpty() const { return m_length == 0; }
    // Two lower-case hexadecimal digits per byte.
    std::string ToHex() const;

  private:
    Byte m_bytes[kCapacity] = {};
    std::uint32_t m_length = 0;
};

// False when either record is empty; else whether the digests are equal.
bool DigestRecordsEqual(const DigestRecord& a, const DigestRecord& b);
