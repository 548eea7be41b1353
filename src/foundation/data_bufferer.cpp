#include "foundation/data_bufferer.h"

#include <cstring>

void DataBuffererBase::SetUp(DataReceiver& target) {
    m_target = &target;
    m_position = m_bufferBegin;
}

void DataBuffererBase::Begin() {
    m_target->Begin();
}

void DataBuffererBase::Receive(const Byte* begin, const Byte* end) {
    std::size_t length = static_cast<std::size_t>(end - begin);
    std::size_t free = static_cast<std::size_t>(m_bufferEnd - m_position);
    if (length <= free) {
        // A chunk that exactly fills the buffer stays here: End or the next chunk passes it on.
        if (length != 0) std::memcpy(m_position, begin, length);
        m_position += length;
        return;
    }
    std::memcpy(m_position, begin, free);
    begin += free;
    m_target->Receive(m_bufferBegin, m_bufferEnd);
    m_position = m_bufferBegin;
    // Whole buffers' worth of input go to the target straight from the caller's chunk: the target
    // sees exactly the chunks it would see through the buffer, without the copy.
    const std::size_t capacity = static_cast<std::size_t>(m_bufferEnd - m_bufferBegin);
    while (static_cast<std::size_t>(end - begin) > capacity) {
        m_target->Receive(begin, begin + capacity);
        begin += capacity;
    }
    length = static_cast<std::size_t>(end - begin);
    std::memcpy(m_position, begin, length);
    m_position += length;
}

void DataBuffererBase::End() {
    m_target->Receive(m_bufferBegin, m_position);
    m_position = m_bufferBegin;
    m_target->End();
}
