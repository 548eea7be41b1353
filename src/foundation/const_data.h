// Byte ranges: the currency of every parser and writer in the relay.
//
// A ConstData is a non-owning, half-open range [begin, end) of bytes; both ends may be null for the
// empty range. An OutputRange is the free space of a buffer: writing n bytes stores them at begin and
// advances begin by n, while end never moves. Neither owns what it points at; the bytes must outlive
// the range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

using Byte = unsigned char;

struct ConstData {
    const Byte* begin = nullptr;
    const Byte* end = nullptr;

    constexpr ConstData() = default;
    constexpr ConstData(const Byte* b, const Byte* e) : begin(b), end(e) {}
    ConstData(const char* b, const char* e)
        : begin(reinterpret_cast<const Byte*>(b)), end(reinterpret_cast<const Byte*>(e)) {}
    ConstData(const void* data, std::size_t length)
        : begin(static_cast<const Byte*>(data)), end(static_cast<const Byte*>(data) + length) {}
    // The bytes of a string view (not a copy: the viewed text must outlive the range).
    explicit ConstData(std::string_view text) : ConstData(text.data(), text.size()) {}

    std::size_t Length() const { return static_cast<std::size_t>(end - begin); }
    bool IsEmpty() const { return begin == end; }
    const char* Chars() const { return reinterpret_cast<const char*>(begin); }
    std::string_view View() const { return {Chars(), Length()}; }
};

struct OutputRange {
    Byte* begin = nullptr;
    Byte* end = nullptr;

    constexpr OutputRange() = default;
    constexpr OutputRange(Byte* b, Byte* e) : begin(b), end(e) {}
    OutputRange(char* b, char* e) : begin(reinterpret_cast<Byte*>(b)), end(reinterpret_cast<Byte*>(e)) {}
    OutputRange(void* data, std::size_t length)
        : begin(static_cast<Byte*>(data)), end(static_cast<Byte*>(data) + length) {}

    std::size_t Room() const { return static_cast<std::size_t>(end - begin); }
    bool IsFull() const { return begin == end; }
};
