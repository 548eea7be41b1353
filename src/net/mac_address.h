// A 48-bit MAC address; the first byte of its text is the most significant. Text form: six bytes
// as two lower-case hexadecimal digits each, joined by "-" ("00-11-22-aa-bb-cc").
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "base/const_data_buffer.h"
#include "base/exceptions.h"

class NotAMACAddress : public DebuggableException {};

class MACAddress {
  public:
    MACAddress() = default;
    explicit MACAddress(const std::array<Byte, 6>& bytes);

    // The bytes in text order.
    std::array<Byte, 6> Bytes() const;
    ConstDataBuffer<17> ToString() const;

    bool operator==(const MACAddress& other) const = default;

  private:
    std::uint64_t m_value = 0;  // 48 bits
};

// Six hexadecimal numerals joined by "-", each at most ff, in fewer than 18 bytes. Throws
// NotAMACAddress for a text too long, too few "-" or a part above ff; NotANumeral for an empty or
// non-hexadecimal part (a last part holding a further "-" included).
MACAddress ParseMACAddress(std::string_view text);
