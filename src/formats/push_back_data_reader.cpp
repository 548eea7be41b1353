#include "formats/push_back_data_reader.h"

void PushBackDataReader::PushBack(ConstData bytes) {
    if (bytes.Length() > sizeof m_buffer - m_fill) throw PushBackBufferOverflow();
    OutputRange free(m_buffer + m_fill, m_buffer + sizeof m_buffer);
    CopyIntoOutputRange(free, bytes);
    m_fill += bytes.Length();
}

// An emptied buffer starts again at its front, so that the room for pushing back never shrinks
// with use.
void PushBackDataReader::TakeBuffered(OutputRange& range) {
    ConstData buffered(m_buffer + m_read, m_buffer + m_fill);
    CopyDataIntoRange(range, buffered);
    m_read = static_cast<std::size_t>(buffered.begin - m_buffer);
    if (m_read == m_fill) m_read = m_fill = 0;
}

void PushBackDataReader::ReadSome(OutputRange& range) {
    TakeBuffered(range);
    if (!range.IsFull() && m_reader->HasMore()) m_reader->ReadSome(range);
}

void PushBackDataReader::ReadInto(Byte* begin, Byte* end) {
    OutputRange range(begin, end);
    TakeBuffered(range);
    m_reader->ReadInto(range.begin, range.end);
}
