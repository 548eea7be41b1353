#include "foundation/text_ranges.h"

#include "base/character_classes.h"

ConstData TrimWhitespaceRange(ConstData range) {
    while (!range.IsEmpty() && Ascii::Whitespace().Contains(range.begin[0])) ++range.begin;
    while (!range.IsEmpty() && Ascii::Whitespace().Contains(range.end[-1])) --range.end;
    return range;
}

std::uint64_t ParseDecimal64(ConstData range) {
    constexpr std::uint64_t kTooLarge = std::uint64_t{1} << 32;
    std::uint64_t value = 0;
    for (const Byte* p = range.begin; p != range.end && value < kTooLarge; ++p) {
        if (*p == ' ') continue;
        if (!Ascii::Digits().Contains(*p)) return 0;
        value = value * 10 + (*p - '0');
    }
    return value;
}
