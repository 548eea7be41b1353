// ConstDataBuffer<N>: a fixed-capacity holder for a short text (a number, a date, an address), kept
// by value and always NUL-terminated. It holds at most N bytes; anything longer throws
// ConstDataCapacityExceeded, after which the holder's contents are unspecified.
#pragma once

#include <cstdint>
#include <cstring>

#include "base/const_data.h"
#include "base/exceptions.h"

class ConstDataCapacityExceeded : public DebuggableException {};

template <std::size_t N>
class ConstDataBuffer {
  public:
    ConstDataBuffer() { m_text[0] = 0; }
    explicit ConstDataBuffer(ConstData range) { Assign(range); }

    void Assign(ConstData range) {
        m_length = 0;
        Append(range);
    }
    void Append(ConstData range) {
        if (range.Length() > N - m_length) throw ConstDataCapacityExceeded();
        if (!range.IsEmpty()) std::memcpy(m_text + m_length, range.begin, range.Length());
        m_length += static_cast<std::uint32_t>(range.Length());
        m_text[m_length] = 0;
    }
    void Append(char c) { Append(ConstData(&c, 1)); }

    std::size_t Length() const { return m_length; }
    bool IsEmpty() const { return m_length == 0; }
    static constexpr std::size_t Capacity() { return N; }
    const char* GetCString() const { return m_text; }
    ConstData GetConstData() const { return ConstData(m_text, m_length); }
    std::string_view View() const { return {m_text, m_length}; }

  private:
    std::uint32_t m_length = 0;
    char m_text[N + 1];
};
