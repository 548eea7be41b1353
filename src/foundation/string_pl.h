// StringPL: the library layer's counted, NUL-terminated text (lists of name/value pairs, XML names,
// message texts). Bytes only; it knows no encoding.
//
// The text lives in one heap block with its capacity and length in front of it; every empty StringPL
// shares one static empty block, so empty strings cost no allocation. Copies never share a non-empty
// block. Comparisons ignore ASCII case; there is no case-sensitive comparison. A StringPL is a value:
// one thread at a time.
#pragma once

#include <cstdint>
#include <exception>
#include <vector>

#include "base/const_data.h"

// An index, count or size outside what the string allows.
class StringPLOutOfBoundsException : public std::exception {
  public:
    const char* what() const noexcept override { return "StringPLOutOfBoundsException"; }
};

class StringPL {
  public:
    StringPL();
    // A copy of a C string; a null pointer gives the empty string.
    StringPL(const char* text);
    // The first n bytes of text, copying stopping at a NUL and the rest zero-filled; the length is n.
    // A null pointer gives the empty string; a negative n throws StringPLOutOfBoundsException.
    StringPL(const char* text, int n);
    StringPL(const StringPL& other);
    StringPL(StringPL&& other) noexcept;
    StringPL& operator=(const StringPL& other);
    StringPL& operator=(StringPL&& other) noexcept;
    ~StringPL();

    const char* GetCString() const { return m_text; }
    int GetLength() const;
    // Bytes available for text and its NUL in the current block.
    std::uint32_t GetCapacity() const;
    bool IsEmpty() const { return GetLength() == 0; }
    ConstData GetConstData() const { return ConstData(m_text, static_cast<std::size_t>(GetLength())); }
    // Character i; outside 0..length-1 throws StringPLOutOfBoundsException.
    char At(int i) const;

    // Three-way comparison with a C string ignoring ASCII case (letters folded to lower case); a null
    // pointer compares as "".
    int Compare(const char* text) const;
    bool Equals(const char* text) const { return Compare(text) == 0; }

    // Replaces the text (null assigns ""); the new block is exactly large enough.
    void AssignText(const char* text);
    void Assign(const StringPL& other);
    void Append(const char* text);
    void AppendBytes(const void* bytes, unsigned n);

    // Searches from `start` (negative throws StringPLOutOfBoundsException); -1 when absent.
    int Find(char c, int start) const;
    int FindText(const char* text, int start) const;
    int FindTextIgnoringCase(const char* text, int start) const;
    bool Contains(const char* text) const { return FindText(text, 0) != -1; }
    bool ContainsIgnoringCase(const char* text) const { return FindTextIgnoringCase(text, 0) != -1; }

    // Pieces as new strings. Substring needs 0 <= start <= length and count >= 0 (count is cut to
    // what remains), else throws StringPLOutOfBoundsException.
    StringPL Substring(int start, int count) const;
    StringPL Left(int n) const;
    StringPL MidToEnd(int start) const;

    // Lower-cases ASCII letters in place.
    void ToLower();
    // Replaces the text with the printf-style formatting of the arguments. The arguments may point
    // into this string's own text. A conversion the C library refuses throws Posix::Error.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

  private:
    friend StringPL StringPLFromBytes(const std::vector<Byte>& bytes, std::size_t start, std::size_t length);
    struct BlockHeader;
    static char* AllocateBlock(std::uint64_t capacity);
    static void ReleaseBlock(char* text);
    static BlockHeader* HeaderOf(const char* text);
    // Takes `text` (a fresh block filled with `length` bytes) and releases the old block.
    void Adopt(char* text, std::uint64_t length);
    // Replaces the text with a copy of `length` bytes in a block of exactly length + 1 bytes.
    void AssignBytes(const void* bytes, std::size_t length);

    char* m_text;
};

// A copy of `length` bytes of `bytes` from `start`; a piece outside the vector throws
// StringPLOutOfBoundsException.
StringPL StringPLFromBytes(const std::vector<Byte>& bytes, std::size_t start, std::size_t length);
