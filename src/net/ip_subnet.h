// A subnet: an address, a prefix length and the mask the prefix gives. An IPv4 subnet's address
// must have no host bits set (10.0.0.0/8, never 10.1.2.3/8); an IPv6 subnet's address is not checked.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/const_data_buffer.h"
#include "base/exceptions.h"
#include "net/ip_address.h"

class NotAnIPSubnet : public DebuggableException {};
class SubnetPrefixLengthTooLarge : public DebuggableException {};
class NonCanonicalSubnetAddress : public DebuggableException {};

class IPSubnet {
  public:
    // Throws SubnetPrefixLengthTooLarge above 32 (IPv4) or 128 (IPv6) and NonCanonicalSubnetAddress
    // for an IPv4 address with host bits set.
    IPSubnet(const IPAddress& address, unsigned prefixLength);

    const IPAddress& Address() const { return m_address; }
    unsigned PrefixLength() const { return m_prefixLength; }
    const IPAddress& Mask() const { return m_mask; }
    // "<address>/<prefix length>", the address as compressed IPv6 or dotted IPv4 text without zone.
    ConstDataBuffer<68> ToString() const;

    bool operator==(const IPSubnet& other) const = default;

  private:
    IPAddress m_address;
    std::uint16_t m_prefixLength;
    IPAddress m_mask;
};

// "<address>/<prefix length>", at most 60 bytes. Throws NotAnIPSubnet for a longer text or one
// without "/", NotAnIPAddress for the address, NotANumeral or NumeralTooLarge for the prefix
// length, and the constructor's errors.
IPSubnet ParseIPSubnet(std::string_view text);
