// BufferWriter: writes text into a caller's fixed character array, keeping it NUL-terminated and
// never writing past its capacity. A text that does not fit (with its NUL) throws BufferWriterOverflow
// and is not written at all, so the buffer keeps what was there. The array must outlive the writer.
#pragma once

#include <cstdint>

// Carries nothing: the writer's buffer tells what was written before.
class BufferWriterOverflow {};

class BufferWriter {
  public:
    // Empties the buffer (capacity counts bytes, the NUL included; it must be at least 1).
    BufferWriter(char* buffer, std::int32_t capacity);

    // A null pointer is ignored.
    void Append(const char* text);
    void AppendDecimal(std::uint32_t value);
    void AppendDecimal(std::uint64_t value);
    // "0" and the digit below 10, else the last two digits: 7 gives "07", 123 gives "23".
    void AppendTwoDigits(unsigned value);

    const char* Text() const { return m_buffer; }
    std::int32_t Used() const { return m_used; }

  private:
    char* m_buffer;
    std::int32_t m_capacity;
    std::int32_t m_used = 0;
};
