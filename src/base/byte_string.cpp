#include "base/byte_string.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

ByteString::ByteString(const char* begin, const char* end) {
    Assign(begin, end);
}

ByteString::ByteString(const ByteString& other) {
    *this = other;
}

ByteString::ByteString(ByteString&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_length(std::exchange(other.m_length, 0)) {}

ByteString& ByteString::operator=(const ByteString& other) {
    ConstData bytes = other.GetConstData();
    Assign(bytes.Chars(), bytes.Chars() + bytes.Length());
    return *this;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_length = std::exchange(other.m_length, 0);
    }
    return *this;
}

ByteString::~ByteString() {
    std::free(m_data);
}

void ByteString::Assign(const char* begin, const char* end) {
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length == 0) {
        std::free(std::exchange(m_data, nullptr));
        m_length = 0;
        return;
    }
    if (length > std::numeric_limits<std::uint32_t>::max()) throw ByteStringTooLong();
    if (m_data && m_length >= length) {
        // The range may be a piece of this string's own block.
        std::memmove(m_data, begin, length);
    } else {
        // A longer value cannot come from this string's own block, so the old block may go after
        // the copy.
        char* block = static_cast<char*>(std::malloc(length));
        if (!block) throw std::bad_alloc();
        std::memcpy(block, begin, length);
        std::free(m_data);
        m_data = block;
    }
    m_length = static_cast<std::uint32_t>(length);
}
