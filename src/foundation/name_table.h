// Look-up of a name in a constant table of (name, value) entries sorted ascending by name.
#pragma once

#include <cstdint>
#include <span>

#include "base/const_data.h"

struct NameTableEntry {
    const char* name;
    std::uint32_t value;
};

// Binary search, case-sensitive, bytes compared as unsigned values; the end of the key counts as a
// NUL, so a name that is a proper beginning of another orders first. Returns the value of the entry
// whose name equals the key, or null when there is none.
const std::uint32_t* FindInSortedNameTable(std::span<const NameTableEntry> table, ConstData key);
