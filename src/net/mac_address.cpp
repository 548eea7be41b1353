#include "net/mac_address.h"

#include <algorithm>

#include "base/numerals.h"

namespace {

constexpr std::size_t kTextLimit = 18;  // a text this long or longer is refused at once

}  // namespace

MACAddress::MACAddress(const std::array<Byte, 6>& bytes) {
    for (Byte b : bytes) m_value = (m_value << 8) | b;
}

std::array<Byte, 6> MACAddress::Bytes() const {
    std::array<Byte, 6> bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<Byte>(m_value >> (8 * (5 - i)));
    return bytes;
}

ConstDataBuffer<17> MACAddress::ToString() const {
    ConstDataBuffer<17> text;
    std::array<Byte, 6> bytes = Bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text.Append('-');
        text.Append(FormatHexDigits(bytes[i], 2).GetConstData());
    }
    return text;
}

MACAddress ParseMACAddress(std::string_view text) {
    if (text.size() >= kTextLimit) throw NotAMACAddress();
    std::array<Byte, 6> bytes;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::size_t dash = i < 5 ? text.find('-') : text.size();
        if (dash == std::string_view::npos) throw NotAMACAddress();
        std::uint64_t value = HexToUInt64(ConstData(text.substr(0, dash)));
        if (value > 0xFF) throw NotAMACAddress();
        bytes[i] = static_cast<Byte>(value);
        text.remove_prefix(std::min(dash + 1, text.size()));
    }
    return MACAddress(bytes);
}
