// Stringy: a NUL-terminated text with room for 127 characters inline, used for settings keys, file
// names, result messages and numbers as text. Longer texts move to a heap block of exactly their
// size. Bytes only; it knows no encoding.
//
// A Stringy may be null (no text at all). Null and the empty text "" are different when built, but
// compare equal, and assigning "" or a null Stringy makes the target null. A Stringy is a value: one
// thread at a time.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/exceptions.h"

class ByteString;

// A length whose size with the terminating NUL does not fit 32 bits.
class StringyLengthTooLong : public DebuggableException {};

class Stringy {
  public:
    static constexpr std::uint32_t kInlineSize = 128;  // bytes, NUL included

    Stringy() = default;
    // A copy of the text; a null pointer gives a null Stringy.
    Stringy(const char* text);
    // n bytes and a NUL; n = 0 gives a null Stringy.
    Stringy(const char* text, unsigned n);
    // The bytes and a NUL; an empty ByteString gives a null Stringy.
    explicit Stringy(const ByteString& bytes);
    // Decimal text of a number.
    explicit Stringy(int value);
    explicit Stringy(unsigned value);
    explicit Stringy(std::uint64_t value);
    Stringy(const Stringy& other);
    Stringy(Stringy&& other) noexcept;
    ~Stringy();

    // Same text pointer: nothing; null: null.
    Stringy& operator=(const char* text);
    // Self-assignment: nothing; a null or empty source makes this null.
    Stringy& operator=(const Stringy& other);
    Stringy& operator=(Stringy&& other) noexcept;

    bool IsNull() const { return m_size == 0; }
    // Characters, without the NUL (0 for null).
    std::uint32_t Length() const { return m_size == 0 ? 0 : m_size - 1; }
    // Bytes including the NUL (0 for null, 1 for "").
    std::uint32_t Size() const { return m_size; }
    bool IsInline() const { return m_data == m_inline; }
    // The text; "" for a null Stringy.
    const char* GetCString() const { return m_data ? m_data : ""; }
    ConstData GetConstData() const { return ConstData(m_data, Length()); }
    // Byte i; 0 for a null Stringy and past the end.
    char At(unsigned i) const { return i < m_size ? m_data[i] : 0; }

    // Appending nothing (null, "", the byte 0, an empty range) changes nothing. The argument may be
    // this string's own text.
    Stringy& operator+=(const Stringy& other);
    Stringy& operator+=(const char* text);
    Stringy& operator+=(char c);
    Stringy& operator+=(ConstData bytes);

    // Three-way: null and "" are equal and less than any other text; else byte-wise, unsigned.
    int Compare(const Stringy& other) const;
    bool operator==(const Stringy& other) const { return Compare(other) == 0; }
    bool operator==(const char* text) const { return Compare(Stringy(text)) == 0; }
    // Equal sizes and equal bytes after lower-casing ASCII letters.
    bool EqualsIgnoringCase(const Stringy& other) const;
    // Folding to upper case, so "_" and the other bytes between "Z" and "a" sort after the letters;
    // null sorts first.
    int CompareIgnoringCase(const Stringy& other) const;

    // Pieces as new Stringys; negative arguments count as 0 and ranges are cut to the text; an empty
    // piece is null.
    Stringy Mid(int start, int count) const;
    Stringy Left(int n) const;
    Stringy Right(int n) const;
    Stringy MidToEnd(int start) const;

    // Cuts leading and trailing tab, LF, CR and space; nothing left makes it null.
    void Trim();

  private:
    // Makes the text `first` + `second` (either may lie in this string's own storage).
    void SetText(ConstData first, ConstData second);
    void SetNull();
    void Append(ConstData bytes);

    char* m_data = nullptr;
    std::uint32_t m_size = 0;
    char m_inline[kInlineSize];
};

// A copy of a with b appended.
Stringy ConcatenateStringys(const Stringy& a, const Stringy& b);
