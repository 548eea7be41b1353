#include "net/version_quad.h"

#include <algorithm>

bool ParseVersionQuad(std::string_view text, VersionQuad& version) {
    version = VersionQuad();
    if (text.empty()) return true;
    VersionQuad read;
    read.count = 1;
    std::uint32_t part = 0;
    for (char c : text) {
        if (c == '.' || c == ',') {
            if (read.count == read.parts.size()) return false;
            read.parts[read.count - 1] = static_cast<std::uint16_t>(part);
            ++read.count;
            part = 0;
        } else if (c >= '0' && c <= '9') {
            part = part * 10 + static_cast<std::uint32_t>(c - '0');
            if (part > 0xFFFF) return false;
        } else {
            return false;
        }
    }
    read.parts[read.count - 1] = static_cast<std::uint16_t>(part);
    version = read;
    return true;
}

bool VersionQuadLess(const VersionQuad& a, const VersionQuad& b) {
    unsigned common = std::min(a.count, b.count);
    for (unsigned i = 0; i < common; ++i)
        if (a.parts[i] != b.parts[i]) return a.parts[i] < b.parts[i];
    return false;
}
