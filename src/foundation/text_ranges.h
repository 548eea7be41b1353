// Small readers of text held in byte ranges.
#pragma once

#include <cstdint>

#include "base/const_data.h"

// The range without its leading and trailing tab, LF, CR and space; bytes of 128 and above are never
// stripped. An all-whitespace range becomes empty.
ConstData TrimWhitespaceRange(ConstData range);

// The decimal number in the range, spaces skipped wherever they stand ("1 000" is 1000). Any other
// non-digit gives 0, and so does an empty range. The scan stops as soon as the value reaches 2^32,
// so a result of 2^32 or more means "too large" (the rest of the range is not looked at).
std::uint64_t ParseDecimal64(ConstData range);
