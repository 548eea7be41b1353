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

#include "base/exceptions.h"

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

// A write past the room of a bounded output.
class DataOverflow : public DebuggableException {};

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
    // The byte at `index`; DataOverflow when the index is at or past the room.
    Byte& At(std::size_t index) const {
        if (index >= Room()) throw DataOverflow();
        return begin[index];
    }
};

// The range [s, s + strlen(s)); a null pointer gives the empty range.
ConstData ConstDataOfCString(const char* s);

bool ConstDataEqual(ConstData a, ConstData b);
bool ConstDataStartsWith(ConstData a, ConstData prefix);
// Byte-wise order, bytes compared as unsigned values; a proper prefix is less than the longer range.
bool ConstDataLess(ConstData a, ConstData b);

// Copies min(range length, buffer length) bytes into [bufferBegin, bufferEnd); returns the part of
// the range that was not copied.
ConstData ConstDataCopyOut(ConstData range, Byte* bufferBegin, Byte* bufferEnd);
// Copies min(room, source length) bytes to the front of the output; returns the unfilled rest of the
// output and leaves `output` itself as it was.
OutputRange CopyIntoRangeRest(OutputRange output, ConstData source);
// The same copy, advancing output.begin past the copied bytes.
void CopyIntoOutputRange(OutputRange& output, ConstData source);
// Copies min(room, source length) bytes (the two may overlap) and advances both ranges.
void CopyBytesIntoRange(OutputRange& output, ConstData& source);

std::string StringFromConstData(ConstData range);

// An owned heap block of bytes, [Begin(), End()). Move-only: moving hands the block over and leaves
// the source empty.
class OwnedByteRange {
  public:
    OwnedByteRange() = default;
    OwnedByteRange(OwnedByteRange&& other) noexcept;
    OwnedByteRange& operator=(OwnedByteRange&& other) noexcept;
    ~OwnedByteRange();

    Byte* Begin() const { return m_begin; }
    Byte* End() const { return m_end; }
    std::size_t Length() const { return static_cast<std::size_t>(m_end - m_begin); }
    ConstData Data() const { return {m_begin, m_end}; }
    OutputRange Output() const { return {m_begin, m_end}; }

  private:
    friend OwnedByteRange AllocateByteRange(std::size_t n);
    OwnedByteRange(Byte* begin, Byte* end) : m_begin(begin), m_end(end) {}

    Byte* m_begin = nullptr;
    Byte* m_end = nullptr;
};

// An owned block of n uninitialised bytes.
OwnedByteRange AllocateByteRange(std::size_t n);

// True when the sum or product of two unsigned values does not wrap.
bool AddFitsIn32(std::uint32_t a, std::uint32_t b);
bool AddFitsIn64(std::uint64_t a, std::uint64_t b);
bool MultiplyFitsIn32(std::uint32_t a, std::uint32_t b);
bool MultiplyFitsIn64(std::uint64_t a, std::uint64_t b);
