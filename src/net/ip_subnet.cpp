#include "net/ip_subnet.h"

#include "base/numerals.h"
#include "foundation/ip_address_text.h"

namespace {

constexpr std::size_t kLongestSubnetText = 60;

}  // namespace

// The prefix length is checked before it is narrowed to 16 bits, so that 65544 is never read as 8.
IPSubnet::IPSubnet(const IPAddress& address, unsigned prefixLength)
    : m_address(address), m_prefixLength(0), m_mask(PrefixMask(address, prefixLength)) {
    if (prefixLength > (address.IsIPv6() ? 128u : 32u)) throw SubnetPrefixLengthTooLarge();
    m_prefixLength = static_cast<std::uint16_t>(prefixLength);
    if (!address.IsIPv6() && !ApplyMask(address, m_mask, true).IsZero()) throw NonCanonicalSubnetAddress();
}

ConstDataBuffer<68> IPSubnet::ToString() const {
    ConstDataBuffer<68> text(
        FormatIPAddressText({m_address.IsIPv6(), m_address.Bytes(), m_address.Zone()}).GetConstData());
    text.Append('/');
    text.Append(AppendDecimal(m_prefixLength, 1).GetConstData());
    return text;
}

IPSubnet ParseIPSubnet(std::string_view text) {
    std::size_t slash = text.find('/');
    if (text.size() > kLongestSubnetText || slash == std::string_view::npos) throw NotAnIPSubnet();
    std::uint32_t prefixLength = DecimalToUInt32(ConstData(text.substr(slash + 1)));
    return IPSubnet(ParseIPAddress(text.substr(0, slash)), prefixLength);
}
