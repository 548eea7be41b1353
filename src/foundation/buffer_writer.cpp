#include "foundation/buffer_writer.h"

#include <cstring>

#include "base/numerals.h"

BufferWriter::BufferWriter(char* buffer, std::int32_t capacity) : m_buffer(buffer), m_capacity(capacity) {
    m_buffer[0] = 0;
}

void BufferWriter::Append(const char* text) {
    if (!text) return;
    std::size_t length = std::strlen(text);
    if (length >= static_cast<std::size_t>(m_capacity - m_used)) throw BufferWriterOverflow();
    std::memcpy(m_buffer + m_used, text, length + 1);
    m_used += static_cast<std::int32_t>(length);
}

void BufferWriter::AppendDecimal(std::uint32_t value) {
    AppendDecimal(std::uint64_t{value});
}

void BufferWriter::AppendDecimal(std::uint64_t value) {
    Append(FormatDecimalDigits(value, 1).GetCString());
}

void BufferWriter::AppendTwoDigits(unsigned value) {
    Append(FormatDecimalDigits(value % 100, 2).GetCString());
}
