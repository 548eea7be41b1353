// The text of an IP address, written without the platform's conversion routines.
//
// IPv4 addresses are written as four decimal bytes. IPv6 addresses are written as groups of
// lower-case hexadecimal; the compressed styles replace the longest run of zero groups, even a single
// one, by "::" (the first of equally long runs wins), which is not quite RFC 5952: '2001:db8::1:1:1:1:1'
// compresses a lone zero group where RFC 5952 would not.
//
// Every caller of the relay uses the defaults: compressed IPv6, dotted IPv4, no zone.
#pragma once

#include <array>
#include <string_view>

#include "base/const_data.h"
#include "base/const_data_buffer.h"

// What the formatter reads of an address; an IPAddress (net/ip_address.h) gives
// {address.IsIPv6(), address.Bytes(), address.Zone()}.
struct IPAddressTextSource {
    bool isIPv6 = false;
    // Network order; an IPv4 address occupies the last four bytes.
    std::array<Byte, 16> bytes{};
    std::string_view zone;
};

enum class IPv6TextStyle {
    Full = 0,                  // eight groups of four digits: 0000:0000:...:0001
    DottedTail = 1,            // leading zeros dropped, the last 32 bits as a.b.c.d: 0:0:0:0:0:ffff:1.2.3.4
    Compressed = 2,            // leading zeros dropped, the longest zero run as "::": ::1
    CompressedDottedTail = 3,  // both: ::ffff:1.2.3.4
};

// A separator of 0 means ":" for IPv6 and "." for IPv4; with any other IPv6 separator neither
// compression nor the dotted tail applies. A zone separator of 0 means "%". `forceIPv6` writes an
// IPv4 address as IPv6. ConstDataCapacityExceeded when the text would pass 60 characters (only a
// very long zone text can do that).
ConstDataBuffer<60> FormatIPAddressText(const IPAddressTextSource& address, bool forceIPv6 = false,
                                        IPv6TextStyle style = IPv6TextStyle::Compressed, char separator = 0,
                                        bool withZone = false, char zoneSeparator = 0);
