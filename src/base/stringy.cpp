#include "base/stringy.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "base/byte_string.h"
#include "base/character_classes.h"
#include "base/numerals.h"

namespace {

std::uint32_t SizeWithNul(std::size_t length) {
    if (length >= std::numeric_limits<std::uint32_t>::max()) throw StringyLengthTooLong();
    return static_cast<std::uint32_t>(length + 1);
}

}  // namespace

Stringy::Stringy(const char* text) {
    if (text) SetText(ConstDataOfCString(text), ConstData());
}

Stringy::Stringy(const char* text, unsigned n) {
    if (n != 0) SetText(ConstData(text, n), ConstData());
}

Stringy::Stringy(const ByteString& bytes) {
    if (!bytes.IsEmpty()) SetText(bytes.GetConstData(), ConstData());
}

Stringy::Stringy(int value) {
    SetText(IntegerText(value).GetText(), ConstData());
}
Stringy::Stringy(unsigned value) {
    SetText(IntegerText(value).GetText(), ConstData());
}
Stringy::Stringy(std::uint64_t value) {
    SetText(IntegerText(value).GetText(), ConstData());
}

Stringy::Stringy(const Stringy& other) {
    if (!other.IsNull()) SetText(other.GetConstData(), ConstData());
}

Stringy::Stringy(Stringy&& other) noexcept {
    *this = std::move(other);
}

Stringy::~Stringy() {
    SetNull();
}

Stringy& Stringy::operator=(const char* text) {
    if (text == m_data) return *this;
    if (text)
        SetText(ConstDataOfCString(text), ConstData());
    else
        SetNull();
    return *this;
}

Stringy& Stringy::operator=(const Stringy& other) {
    if (&other == this) return *this;
    if (other.m_size < 2)
        SetNull();
    else
        SetText(other.GetConstData(), ConstData());
    return *this;
}

Stringy& Stringy::operator=(Stringy&& other) noexcept {
    if (&other == this) return *this;
    SetNull();
    if (other.IsInline()) {
        std::memcpy(m_inline, other.m_inline, other.m_size);
        m_data = m_inline;
    } else {
        m_data = other.m_data;
    }
    m_size = other.m_size;
    other.m_data = nullptr;
    other.m_size = 0;
    return *this;
}

void Stringy::SetNull() {
    if (!IsInline()) delete[] m_data;
    m_data = nullptr;
    m_size = 0;
}

void Stringy::SetText(ConstData first, ConstData second) {
    std::uint32_t size = SizeWithNul(first.Length() + second.Length());
    // The new text is built apart from the current storage and only then takes its place, because
    // either piece may come from the current text.
    char scratch[kInlineSize];
    std::unique_ptr<char[]> block;
    char* target = scratch;
    if (size > kInlineSize) {
        block = std::make_unique_for_overwrite<char[]>(size);
        target = block.get();
    }
    if (!first.IsEmpty()) std::memcpy(target, first.begin, first.Length());
    if (!second.IsEmpty()) std::memcpy(target + first.Length(), second.begin, second.Length());
    target[size - 1] = 0;

    SetNull();
    if (block) {
        m_data = block.release();
    } else {
        std::memcpy(m_inline, scratch, size);
        m_data = m_inline;
    }
    m_size = size;
}

void Stringy::Append(ConstData bytes) {
    if (!bytes.IsEmpty()) SetText(GetConstData(), bytes);
}

Stringy& Stringy::operator+=(const Stringy& other) {
    Append(other.GetConstData());
    return *this;
}

Stringy& Stringy::operator+=(const char* text) {
    Append(ConstDataOfCString(text));
    return *this;
}

Stringy& Stringy::operator+=(char c) {
    if (c != 0) Append(ConstData(&c, 1));
    return *this;
}

Stringy& Stringy::operator+=(ConstData bytes) {
    Append(bytes);
    return *this;
}

int Stringy::Compare(const Stringy& other) const {
    bool thisEmpty = m_size < 2, otherEmpty = other.m_size < 2;
    if (thisEmpty || otherEmpty) return thisEmpty == otherEmpty ? 0 : (thisEmpty ? -1 : 1);
    int result = std::strcmp(m_data, other.m_data);
    return (result > 0) - (result < 0);
}

bool Stringy::EqualsIgnoringCase(const Stringy& other) const {
    return Ascii::EqualIgnoringCase(ConstData(m_data, m_size), ConstData(other.m_data, other.m_size));
}

int Stringy::CompareIgnoringCase(const Stringy& other) const {
    // The NUL takes part, so a null text (no bytes) is the only one that is a prefix of "".
    return Ascii::CompareFoldingToUpper(ConstData(m_data, m_size), ConstData(other.m_data, other.m_size));
}

Stringy Stringy::Mid(int start, int count) const {
    std::uint32_t length = Length();
    std::uint32_t first = static_cast<std::uint32_t>(std::max(start, 0));
    std::uint32_t wanted = static_cast<std::uint32_t>(std::max(count, 0));
    if (first > length) return Stringy();
    return Stringy(m_data + first, std::min(wanted, length - first));
}

Stringy Stringy::Left(int n) const {
    std::uint32_t k = std::min(static_cast<std::uint32_t>(std::max(n, 0)), Length());
    return Stringy(m_data, k);
}

Stringy Stringy::Right(int n) const {
    std::uint32_t k = std::min(static_cast<std::uint32_t>(std::max(n, 0)), Length());
    return Stringy(m_data + (Length() - k), k);
}

Stringy Stringy::MidToEnd(int start) const {
    return Mid(start, static_cast<int>(std::min<std::int64_t>(std::int64_t(Length()) - start,
                                                              std::numeric_limits<int>::max())));
}

void Stringy::Trim() {
    const CharacterClass& whitespace = Ascii::Whitespace();
    const char* begin = m_data;
    const char* end = m_data + Length();
    while (begin != end && whitespace.Contains(static_cast<unsigned char>(*begin))) ++begin;
    if (begin == end) return SetNull();
    while (whitespace.Contains(static_cast<unsigned char>(end[-1]))) --end;
    SetText(ConstData(begin, end), ConstData());
}

Stringy ConcatenateStringys(const Stringy& a, const Stringy& b) {
    Stringy result(a);
    result += b;
    return result;
}
