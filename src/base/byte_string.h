// ByteString: a plain heap run of bytes without terminator, for HTTP bodies, header values and URL
// texts. Any byte value may appear, NUL included. An empty ByteString holds no block.
//
// The block is exactly as long as the longest value it was allocated for and is reused by a shorter
// assignment. A ByteString is a value: one thread at a time.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/exceptions.h"

// A value of 4 GiB or more, which a ByteString cannot hold.
class ByteStringTooLong : public DebuggableException {};

class ByteString {
  public:
    ByteString() = default;
    ByteString(const char* begin, const char* end);
    explicit ByteString(ConstData bytes) : ByteString(bytes.Chars(), bytes.Chars() + bytes.Length()) {}
    ByteString(const ByteString& other);
    ByteString(ByteString&& other) noexcept;
    ByteString& operator=(const ByteString& other);
    ByteString& operator=(ByteString&& other) noexcept;
    ~ByteString();

    // Replaces the bytes. An empty range frees the block; a value no longer than the current one is
    // written into the current block. The range may lie inside this string. On failure the old value
    // stays.
    void Assign(const char* begin, const char* end);

    ConstData GetConstData() const { return ConstData(m_data, m_length); }
    std::uint32_t Length() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }

  private:
    char* m_data = nullptr;
    std::uint32_t m_length = 0;
};
