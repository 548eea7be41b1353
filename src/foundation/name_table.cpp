#include "foundation/name_table.h"

namespace {

// Compares a NUL-terminated name with a key range whose end counts as a NUL: negative when the name
// orders first, zero when equal, positive when the key orders first.
int CompareNameToKey(const char* name, ConstData key) {
    const Byte* n = reinterpret_cast<const Byte*>(name);
    for (const Byte* k = key.begin;; ++n, ++k) {
        Byte keyByte = k == key.end ? 0 : *k;
        if (*n != keyByte) return *n < keyByte ? -1 : 1;
        if (keyByte == 0) return k == key.end ? 0 : -1;
    }
}

}  // namespace

const std::uint32_t* FindInSortedNameTable(std::span<const NameTableEntry> table, ConstData key) {
    std::size_t low = 0;
    std::size_t high = table.size();
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        int order = CompareNameToKey(table[middle].name, key);
        if (order == 0) return &table[middle].value;
        if (order > 0)
            high = middle;
        else
            low = middle + 1;
    }
    return nullptr;
}
