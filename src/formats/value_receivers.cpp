#include "formats/value_receivers.h"

#include <limits>


// Appending a piece of the string to itself may reallocate it, so such a piece goes by position.
void StringAppender::Receive(const Byte* begin, const Byte* end) {
    const char* text = reinterpret_cast<const char*>(begin);
    const std::size_t length = static_cast<std::size_t>(end - begin);
    const char* own = m_target->data();
    if (length != 0 && text >= own && text < own + m_target->size())
        m_target->append(*m_target, static_cast<std::size_t>(text - own), length);
    else
        m_target->append(text, length);
}

void DataCounter::Begin() {
    m_count = 0;
    m_overflowed = false;
}

void DataCounter::Receive(const Byte* begin, const Byte* end) {
    const std::uint64_t length = static_cast<std::uint64_t>(end - begin);
    if (m_overflowed || !AddFitsIn64(m_count, length)) {
        m_overflowed = true;
        m_count = std::numeric_limits<std::uint64_t>::max();
        return;
    }
    m_count += length;
}

void BufferFiller::Begin() {
    if (m_buffer != nullptr) m_buffer->position = m_buffer->start;
}

// The filter runs until the input or the buffer is used up or it stops making progress; what does
// not fit is dropped.
void BufferFiller::Receive(const Byte* begin, const Byte* end) {
    if (m_buffer == nullptr || m_filter == nullptr) throw NullBufferFiller();
    ConstData input(begin, end);
    OutputRange output(m_buffer->position, m_buffer->end);
    while (!input.IsEmpty() && !output.IsFull()) {
        const Byte* before = input.begin;
        Byte* written = output.begin;
        m_filter->Filter(input, output);
        if (input.begin == before && output.begin == written) break;
    }
    m_buffer->position = output.begin;
}

void BufferFiller::End() {
    m_buffer = nullptr;
    m_filter = nullptr;
}
