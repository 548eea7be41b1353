// Client version numbers such as "9.5.2.60": up to four 16-bit parts.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

struct VersionQuad {
    std::array<std::uint16_t, 4> parts{};
    unsigned count = 0;  // parts present in the text
};

// Reads up to four decimal parts separated by "." or ",", each at most 65535; the empty text gives
// no parts. Any other byte, a part above 65535 or a fifth part fails, leaving all parts 0.
bool ParseVersionQuad(std::string_view text, VersionQuad& version);

// Compares part by part over the parts both hold: true when at the first differing part a's is the
// smaller; false when a's is the larger or all common parts are equal.
bool VersionQuadLess(const VersionQuad& a, const VersionQuad& b);
