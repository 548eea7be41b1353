#include "foundation/string_pl.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "base/character_classes.h"
#include "platform/system_error.h"

// A block is the header followed by the text; m_text points just past the header, so the length
// and capacity of any StringPL are one subtraction away.
struct StringPL::BlockHeader {
    std::uint32_t capacity;  // bytes for text and NUL
    std::int32_t length;     // bytes before the NUL
};

namespace {

constexpr std::uint64_t kRefusedBlockSize = 0xFFFFFFF8;
constexpr std::uint64_t kInitialFormatSize = 64;

// The shared empty block; never written (every write path first grows into a block of its own).
struct EmptyBlock {
    std::uint32_t capacity = 1;
    std::int32_t length = 0;
    char text[1] = {0};
};
EmptyBlock emptyBlock;

char* EmptyText() {
    return emptyBlock.text;
}

}  // namespace

StringPL::BlockHeader* StringPL::HeaderOf(const char* text) {
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(text) - sizeof(BlockHeader));
}

char* StringPL::AllocateBlock(std::uint64_t capacity) {
    if (capacity < 2) return EmptyText();
    if (capacity >= kRefusedBlockSize) throw StringPLOutOfBoundsException();
    auto* header = static_cast<BlockHeader*>(::operator new(sizeof(BlockHeader) + capacity));
    header->capacity = static_cast<std::uint32_t>(capacity);
    header->length = 0;
    char* text = reinterpret_cast<char*>(header + 1);
    text[0] = 0;
    return text;
}

void StringPL::ReleaseBlock(char* text) {
    if (text != EmptyText()) ::operator delete(HeaderOf(text));
}

void StringPL::Adopt(char* text, std::uint64_t length) {
    if (text != EmptyText()) {
        text[length] = 0;
        HeaderOf(text)->length = static_cast<std::int32_t>(length);
    }
    ReleaseBlock(m_text);
    m_text = text;
}

StringPL::StringPL() : m_text(EmptyText()) {}

StringPL::StringPL(const char* text) : m_text(EmptyText()) {
    AssignText(text);
}

StringPL::StringPL(const char* text, int n) : m_text(EmptyText()) {
    // Every negative count is refused: it would otherwise become a huge allocation.
    if (n < 0) throw StringPLOutOfBoundsException();
    if (!text) return;
    char* block = AllocateBlock(std::uint64_t(n) + 1);
    std::strncpy(block, text, static_cast<std::size_t>(n));
    Adopt(block, static_cast<std::uint64_t>(n));
}

StringPL::StringPL(const StringPL& other) : m_text(EmptyText()) {
    Assign(other);
}

StringPL::StringPL(StringPL&& other) noexcept : m_text(other.m_text) {
    other.m_text = EmptyText();
}

StringPL& StringPL::operator=(const StringPL& other) {
    Assign(other);
    return *this;
}

StringPL& StringPL::operator=(StringPL&& other) noexcept {
    if (this != &other) {
        ReleaseBlock(m_text);
        m_text = other.m_text;
        other.m_text = EmptyText();
    }
    return *this;
}

StringPL::~StringPL() {
    ReleaseBlock(m_text);
}

int StringPL::GetLength() const {
    return HeaderOf(m_text)->length;
}

std::uint32_t StringPL::GetCapacity() const {
    return HeaderOf(m_text)->capacity;
}

char StringPL::At(int i) const {
    if (i < 0 || i >= GetLength()) throw StringPLOutOfBoundsException();
    return m_text[i];
}

int StringPL::Compare(const char* text) const {
    return Ascii::CompareIgnoringCase(ConstDataOfCString(m_text), ConstDataOfCString(text));
}

void StringPL::AssignText(const char* text) {
    if (!text) text = "";
    if (text != m_text) AssignBytes(text, std::strlen(text));
}

void StringPL::AssignBytes(const void* bytes, std::size_t length) {
    if (length > std::size_t(std::numeric_limits<std::int32_t>::max())) throw StringPLOutOfBoundsException();
    // The new block is filled before the old one is released, so `bytes` may lie inside it.
    char* block = AllocateBlock(length + 1);
    if (length != 0) std::memcpy(block, bytes, length);
    Adopt(block, length);
}

void StringPL::Assign(const StringPL& other) {
    if (&other != this) AssignText(other.m_text);
}

void StringPL::Append(const char* text) {
    if (text) AppendBytes(text, static_cast<unsigned>(std::strlen(text)));
}

void StringPL::AppendBytes(const void* bytes, unsigned n) {
    if (n == 0) return;
    std::uint64_t oldLength = static_cast<std::uint64_t>(GetLength());
    std::uint64_t newLength = oldLength + n;
    if (newLength > std::uint64_t(std::numeric_limits<std::int32_t>::max()))
        throw StringPLOutOfBoundsException();
    std::uint64_t capacity = GetCapacity();
    if (capacity >= newLength + 1) {
        std::memmove(m_text + oldLength, bytes, n);
        m_text[newLength] = 0;
        HeaderOf(m_text)->length = static_cast<std::int32_t>(newLength);
        return;
    }
    while (capacity < newLength + 1) capacity *= 2;
    // The old block stays alive until the copy is done: `bytes` may lie inside it.
    char* block = AllocateBlock(capacity);
    std::memcpy(block, m_text, oldLength);
    std::memcpy(block + oldLength, bytes, n);
    Adopt(block, newLength);
}

int StringPL::Find(char c, int start) const {
    if (start < 0) throw StringPLOutOfBoundsException();
    for (int i = start; i < GetLength(); ++i)
        if (m_text[i] == c) return i;
    return -1;
}

namespace {

// The first position p >= start at which `matches(p)` holds for a text of `textLength` bytes.
template <class Matches>
int FindFirst(int length, int start, std::size_t textLength, Matches matches) {
    if (start < 0) throw StringPLOutOfBoundsException();
    if (start > length || textLength > std::size_t(length - start)) return -1;
    int last = length - static_cast<int>(textLength);
    for (int p = start; p <= last; ++p)
        if (matches(p)) return p;
    return -1;
}

}  // namespace

int StringPL::FindText(const char* text, int start) const {
    ConstData wanted = ConstDataOfCString(text);
    return FindFirst(GetLength(), start, wanted.Length(),
                     [&](int p) { return ConstDataEqual(ConstData(m_text + p, wanted.Length()), wanted); });
}

int StringPL::FindTextIgnoringCase(const char* text, int start) const {
    ConstData wanted = ConstDataOfCString(text);
    return FindFirst(GetLength(), start, wanted.Length(), [&](int p) {
        return Ascii::EqualIgnoringCase(ConstData(m_text + p, wanted.Length()), wanted);
    });
}

StringPL StringPL::Substring(int start, int count) const {
    int length = GetLength();
    if (start < 0 || start > length || count < 0) throw StringPLOutOfBoundsException();
    if (count > length - start) count = length - start;
    StringPL piece;
    piece.AssignBytes(m_text + start, static_cast<std::size_t>(count));
    return piece;
}

StringPL StringPL::Left(int n) const {
    return Substring(0, n < GetLength() ? n : GetLength());
}

StringPL StringPL::MidToEnd(int start) const {
    return Substring(start, GetLength() - start);
}

void StringPL::ToLower() {
    const Ascii::CaseTable& lower = Ascii::LowerCaseTable();
    for (int i = 0; i < GetLength(); ++i) m_text[i] = static_cast<char>(lower[static_cast<Byte>(m_text[i])]);
}

void StringPL::Format(const char* format, ...) {
    // The text is formatted into a new block, which replaces the old one only at the end: the
    // arguments may point into the old text. The block sizes are those of a trial that starts at 64
    // bytes (or the current capacity, when larger) and doubles until the text fits.
    std::uint64_t size = GetCapacity() > kInitialFormatSize ? GetCapacity() : kInitialFormatSize;
    for (;;) {
        char* block = AllocateBlock(size);
        va_list arguments;
        va_start(arguments, format);
        errno = 0;
        int length = std::vsnprintf(block, size, format, arguments);
        int error = errno;
        va_end(arguments);
        if (length < 0) {
            ReleaseBlock(block);
            throw Posix::Error(error != 0 ? error : EINVAL);
        }
        if (std::uint64_t(length) < size) {
            Adopt(block, static_cast<std::uint64_t>(length));
            return;
        }
        ReleaseBlock(block);
        size *= 2;
    }
}

StringPL StringPLFromBytes(const std::vector<Byte>& bytes, std::size_t start, std::size_t length) {
    if (start > bytes.size() || length > bytes.size() - start) throw StringPLOutOfBoundsException();
    StringPL text;
    text.AssignBytes(bytes.data() + start, length);
    return text;
}
