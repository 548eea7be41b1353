#include "formats/charset_names.h"

#include <array>

#include "base/character_classes.h"
#include "foundation/name_table.h"

namespace {

constexpr const char* kCanonicalNames[] = {"us-ascii", "iso-8859-1"};

// Sorted by name in byte order; the value indexes kCanonicalNames.
constexpr std::array<NameTableEntry, 18> kAliases = {{
    {"ansi_x3.4-1968", 0},
    {"ansi_x3.4-1986", 0},
    {"ascii", 0},
    {"cp367", 0},
    {"cp819", 1},
    {"csascii", 0},
    {"csisolatin1", 1},
    {"ibm637", 0},
    {"ibm819", 1},
    {"iso-ir-100", 1},
    {"iso-ir-6", 0},
    {"iso646-us", 0},
    {"iso_646.irv:1991", 0},
    {"iso_8859-1", 1},
    {"iso_8859-1:1987", 1},
    {"l1", 1},
    {"latin1", 1},
    {"us", 0},
}};

}  // namespace

std::string CanonicalCharsetName(ConstData name) {
    std::string lowered;
    lowered.reserve(name.Length());
    for (Byte byte : name.View()) lowered += static_cast<char>(Ascii::LowerCaseTable()[byte]);
    const std::uint32_t* canonical = FindInSortedNameTable(kAliases, ConstData(lowered));
    return canonical ? kCanonicalNames[*canonical] : lowered;
}

bool SameCharset(ConstData a, ConstData b) {
    return CanonicalCharsetName(a) == CanonicalCharsetName(b);
}
