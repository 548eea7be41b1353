// IPv4 and IPv6 addresses as small fixed-size values, with the mask arithmetic of subnets.
//
// An IPAddress is copied freely. Its 16 bytes are in network order; an IPv4 address occupies the
// last four, the first twelve being 0. An IPv6 address may carry a zone (scope) text of at most 9
// characters; longer texts are cut. Ordering: IPv4 before IPv6, then the bytes as unsigned values,
// then the zone texts.
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "base/const_data.h"
#include "base/const_data_buffer.h"
#include "base/exceptions.h"

class NotAnIPAddress : public DebuggableException {};

class IPAddress {
  public:
    static constexpr std::size_t kZoneCapacity = 9;

    // All bytes 0, no zone.
    explicit IPAddress(bool isIPv6 = false, bool valid = false);
    // The IPv4 address a.b.c.d.
    IPAddress(Byte a, Byte b, Byte c, Byte d);
    // The IPv6 address of eight 16-bit groups.
    explicit IPAddress(const std::array<std::uint16_t, 8>& groups);
    // The IPv6 address of sixteen bytes with a zone text.
    explicit IPAddress(const std::array<Byte, 16>& bytes, std::string_view zone = {});
    // The address of an AF_INET or AF_INET6 socket address (a non-zero IPv6 scope id becomes the zone
    // in decimal); any other family gives an invalid value.
    explicit IPAddress(const sockaddr* address);

    bool IsIPv6() const { return m_isIPv6; }
    bool IsValid() const { return m_valid; }
    const std::array<Byte, 16>& Bytes() const { return m_bytes; }
    std::string_view Zone() const { return m_zone.data(); }

    // IPv4: exactly 127.0.0.1 (no other 127.x.y.z); IPv6: ::1 or ::ffff:127.0.0.1.
    bool IsLoopback() const;
    // Every address byte is 0.
    bool IsZero() const;
    // An IPv4-mapped IPv6 value (::ffff:a.b.c.d) becomes the IPv4 address a.b.c.d, zone cleared;
    // answers whether it did.
    bool UnmapIPv4();
    // A valid IPv4 value becomes ::ffff:a.b.c.d; answers whether it did.
    bool MapToIPv6();
    // Copies the 16 bytes of an IPv6 value or the 4 of an IPv4 one, at most the range's room, and
    // advances the range.
    void CopyBytes(OutputRange& output) const;
    // The IPv6 zone as a scope id: its decimal value, or 0 when it is empty or not a number.
    std::uint32_t ScopeId() const;

    bool operator==(const IPAddress& other) const;
    bool operator!=(const IPAddress& other) const { return !(*this == other); }
    bool operator<(const IPAddress& other) const;

  private:
    friend IPAddress PrefixMask(const IPAddress& address, unsigned prefixLength);
    friend IPAddress ApplyMask(const IPAddress& address, const IPAddress& mask, bool complement);
    friend IPAddress TryParseIPAddress(std::string_view text);

    void SetZone(std::string_view zone);

    bool m_isIPv6;
    bool m_valid;
    std::array<Byte, 16> m_bytes{};
    std::array<char, kZoneCapacity + 1> m_zone{};
};

// ::1
IPAddress IPv6Loopback();

// The address as the relay writes it in logs: dotted IPv4, compressed IPv6, no zone.
ConstDataBuffer<60> FormatIPAddress(const IPAddress& address);

// Address text: dotted IPv4 ("a.b.c.d", four decimal bytes), IPv6 groups of at most 0xFFFF with one
// "::" for a run of zero groups and an optional dotted IPv4 tail, then an optional "%zone". Leading
// zeros are allowed in bytes and groups. Throws NotAnIPAddress for any other text, the empty one
// included.
IPAddress ParseIPAddress(std::string_view text);
// The same, answering an invalid value instead of throwing; the empty text gives 0.0.0.0.
IPAddress TryParseIPAddress(std::string_view text);

// An address of the same family whose first `prefixLength` bits are 1 (the length is first capped
// at 32 for IPv4 and 128 for IPv6).
IPAddress PrefixMask(const IPAddress& address, unsigned prefixLength);
// The address ANDed with the mask (or with its complement); the plain copy when the families differ.
IPAddress ApplyMask(const IPAddress& address, const IPAddress& mask, bool complement);
// The network part of the address under the prefix, or with `complement` its host part.
IPAddress NetworkPart(const IPAddress& address, unsigned prefixLength, bool complement);
