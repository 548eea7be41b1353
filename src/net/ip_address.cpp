#include "net/ip_address.h"

#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/numerals.h"
#include "foundation/ip_address_text.h"

namespace {

constexpr std::size_t kIPv4Offset = 12;

bool IsIPv4Mapped(const std::array<Byte, 16>& bytes) {
    static constexpr Byte kPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::equal(std::begin(kPrefix), std::end(kPrefix), bytes.begin());
}

}  // namespace

IPAddress::IPAddress(bool isIPv6, bool valid) : m_isIPv6(isIPv6), m_valid(valid) {}

IPAddress::IPAddress(Byte a, Byte b, Byte c, Byte d) : m_isIPv6(false), m_valid(true) {
    m_bytes[12] = a;
    m_bytes[13] = b;
    m_bytes[14] = c;
    m_bytes[15] = d;
}

IPAddress::IPAddress(const std::array<std::uint16_t, 8>& groups) : m_isIPv6(true), m_valid(true) {
    for (std::size_t i = 0; i < groups.size(); ++i) {
        m_bytes[2 * i] = static_cast<Byte>(groups[i] >> 8);
        m_bytes[2 * i + 1] = static_cast<Byte>(groups[i]);
    }
}

IPAddress::IPAddress(const std::array<Byte, 16>& bytes, std::string_view zone)
    : m_isIPv6(true), m_valid(true), m_bytes(bytes) {
    SetZone(zone);
}

IPAddress::IPAddress(const sockaddr* address) : m_isIPv6(false), m_valid(false) {
    if (address->sa_family == AF_INET) {
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(address);
        std::memcpy(&m_bytes[kIPv4Offset], &ipv4->sin_addr, 4);
        m_valid = true;
    } else if (address->sa_family == AF_INET6) {
        const auto* ipv6 = reinterpret_cast<const sockaddr_in6*>(address);
        m_isIPv6 = true;
        std::memcpy(m_bytes.data(), &ipv6->sin6_addr, 16);
        if (ipv6->sin6_scope_id != 0) SetZone(std::to_string(ipv6->sin6_scope_id));
        m_valid = true;
    }
}

void IPAddress::SetZone(std::string_view zone) {
    m_zone.fill('\0');
    zone.copy(m_zone.data(), std::min(zone.size(), kZoneCapacity));
}

bool IPAddress::IsLoopback() const {
    if (!m_isIPv6) return m_bytes[12] == 127 && m_bytes[13] == 0 && m_bytes[14] == 0 && m_bytes[15] == 1;
    if (IsIPv4Mapped(m_bytes))
        return m_bytes[12] == 127 && m_bytes[13] == 0 && m_bytes[14] == 0 && m_bytes[15] == 1;
    return std::all_of(m_bytes.begin(), m_bytes.end() - 1, [](Byte b) { return b == 0; }) && m_bytes[15] == 1;
}

bool IPAddress::IsZero() const {
    auto first = m_isIPv6 ? m_bytes.begin() : m_bytes.begin() + kIPv4Offset;
    return std::all_of(first, m_bytes.end(), [](Byte b) { return b == 0; });
}

bool IPAddress::UnmapIPv4() {
    if (!m_isIPv6 || !IsIPv4Mapped(m_bytes)) return false;
    std::fill(m_bytes.begin(), m_bytes.begin() + kIPv4Offset, 0);
    m_isIPv6 = false;
    SetZone({});
    return true;
}

bool IPAddress::MapToIPv6() {
    if (m_isIPv6 || !m_valid) return false;
    m_bytes[10] = 0xFF;
    m_bytes[11] = 0xFF;
    m_isIPv6 = true;
    SetZone({});
    return true;
}

void IPAddress::CopyBytes(OutputRange& output) const {
    const Byte* first = m_isIPv6 ? m_bytes.data() : m_bytes.data() + kIPv4Offset;
    std::size_t count = std::min<std::size_t>(m_bytes.data() + m_bytes.size() - first, output.Room());
    std::memcpy(output.begin, first, count);
    output.begin += count;
}

// A zone is an interface number or, as often on Linux, an interface name ("eth0"), which is looked
// up.
std::uint32_t IPAddress::ScopeId() const {
    std::string_view zone = Zone();
    if (zone.empty()) return 0;
    std::uint64_t value = 0;
    for (char c : zone) {
        if (c < '0' || c > '9') return if_nametoindex(m_zone.data());
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value > UINT32_MAX ? 0 : static_cast<std::uint32_t>(value);
}

bool IPAddress::operator==(const IPAddress& other) const {
    return m_isIPv6 == other.m_isIPv6 && m_bytes == other.m_bytes && Zone() == other.Zone();
}

bool IPAddress::operator<(const IPAddress& other) const {
    if (m_isIPv6 != other.m_isIPv6) return !m_isIPv6;
    if (m_bytes != other.m_bytes) return m_bytes < other.m_bytes;
    return Zone() < other.Zone();
}

IPAddress IPv6Loopback() {
    return IPAddress(std::array<std::uint16_t, 8>{0, 0, 0, 0, 0, 0, 0, 1});
}

ConstDataBuffer<60> FormatIPAddress(const IPAddress& address) {
    return FormatIPAddressText({address.IsIPv6(), address.Bytes(), address.Zone()});
}

IPAddress PrefixMask(const IPAddress& address, unsigned prefixLength) {
    static constexpr Byte kPartialByte[9] = {0x00, 0x80, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC, 0xFE, 0xFF};
    IPAddress mask(address.IsIPv6(), true);
    unsigned bits = std::min(prefixLength, address.IsIPv6() ? 128u : 32u);
    std::size_t index = address.IsIPv6() ? 0 : kIPv4Offset;
    for (; bits >= 8; bits -= 8) mask.m_bytes[index++] = 0xFF;
    if (bits > 0) mask.m_bytes[index] = kPartialByte[bits];
    return mask;
}

IPAddress ApplyMask(const IPAddress& address, const IPAddress& mask, bool complement) {
    IPAddress result = address;
    if (address.IsIPv6() != mask.IsIPv6()) return result;
    for (std::size_t i = 0; i < result.m_bytes.size(); ++i) {
        Byte maskByte = mask.m_bytes[i];
        result.m_bytes[i] &= complement ? static_cast<Byte>(~maskByte) : maskByte;
    }
    return result;
}

IPAddress NetworkPart(const IPAddress& address, unsigned prefixLength, bool complement) {
    return ApplyMask(address, PrefixMask(address, prefixLength), complement);
}

namespace {

// A hexadecimal group (at most 0xFFFF) or a decimal byte (at most 255); -1 for any other token.
long GroupValue(std::string_view token) {
    std::uint64_t value;
    return ParseHexUInt64(ConstData(token), value) == NumeralStatus::Success && value <= 0xFFFF ? long(value)
                                                                                                : -1;
}

long ByteValue(std::string_view token) {
    std::uint64_t value;
    return ParseDecimalUInt64(ConstData(token), value) == NumeralStatus::Success && value <= 255 ? long(value)
                                                                                                 : -1;
}

// Splits at `separator`; empty pieces are kept.
std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        std::size_t end = text.find(separator);
        pieces.push_back(text.substr(0, end));
        if (end == std::string_view::npos) return pieces;
        text.remove_prefix(end + 1);
    }
}

// Four decimal bytes joined by "."; writes them to `bytes`.
bool ParseDottedBytes(std::string_view text, Byte* bytes) {
    std::vector<std::string_view> parts = Split(text, '.');
    if (parts.size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        long value = ByteValue(parts[i]);
        if (value < 0) return false;
        bytes[i] = static_cast<Byte>(value);
    }
    return true;
}

// The IPv6 part of an address text (without its zone) into 16 bytes.
bool ParseIPv6Bytes(std::string_view text, std::array<Byte, 16>& bytes) {
    std::vector<std::string_view> fields = Split(text, ':');
    // A "::" at either end shows as two empty fields there; inside, as one.
    std::size_t first = 0, last = fields.size();
    bool compressed = false;
    if (fields[0].empty()) {
        if (fields.size() < 3 || !fields[1].empty()) return false;
        first = 1;
    }
    if (fields.back().empty()) {
        if (last - first < 2 || !fields[last - 2].empty()) return false;
        --last;
    }
    bool dottedTail = fields[last - 1].find('.') != std::string_view::npos;
    std::size_t groupFields = dottedTail ? last - 1 : last;
    std::size_t expectedGroups = dottedTail ? 6 : 8;

    std::vector<std::uint16_t> before, after;
    for (std::size_t i = first; i < groupFields; ++i) {
        if (fields[i].empty()) {
            if (compressed) return false;
            compressed = true;
            continue;
        }
        long value = GroupValue(fields[i]);
        if (value < 0) return false;
        (compressed ? after : before).push_back(static_cast<std::uint16_t>(value));
    }
    std::size_t groups = before.size() + after.size();
    if (groups > expectedGroups || (groups < expectedGroups && !compressed)) return false;

    bytes.fill(0);
    if (dottedTail && !ParseDottedBytes(fields[last - 1], &bytes[12])) return false;
    std::size_t groupsEnd = expectedGroups * 2;
    for (std::size_t i = 0; i < before.size(); ++i) {
        bytes[2 * i] = static_cast<Byte>(before[i] >> 8);
        bytes[2 * i + 1] = static_cast<Byte>(before[i]);
    }
    for (std::size_t i = 0; i < after.size(); ++i) {
        std::size_t at = groupsEnd - 2 * (after.size() - i);
        bytes[at] = static_cast<Byte>(after[i] >> 8);
        bytes[at + 1] = static_cast<Byte>(after[i]);
    }
    return true;
}

}  // namespace

IPAddress TryParseIPAddress(std::string_view text) {
    if (text.empty()) return IPAddress(0, 0, 0, 0);
    std::size_t percent = text.find('%');
    std::string_view address = text.substr(0, percent);
    std::string_view zone = percent == std::string_view::npos ? std::string_view() : text.substr(percent + 1);

    if (address.find(':') == std::string_view::npos) {
        Byte dotted[4];
        if (!ParseDottedBytes(address, dotted)) return IPAddress();
        IPAddress result(dotted[0], dotted[1], dotted[2], dotted[3]);
        result.SetZone(zone);
        return result;
    }
    std::array<Byte, 16> bytes;
    if (!ParseIPv6Bytes(address, bytes)) return IPAddress();
    return IPAddress(bytes, zone);
}

IPAddress ParseIPAddress(std::string_view text) {
    IPAddress address = TryParseIPAddress(text);
    if (text.empty() || !address.IsValid()) throw NotAnIPAddress();
    return address;
}
