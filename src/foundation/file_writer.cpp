#include "foundation/file_writer.h"

void FileWriter::Write(const Byte* begin, const Byte* end) {
    if (begin == end) return;
    m_path->WriteAt(m_position, begin, end);
    m_position += static_cast<std::uint64_t>(end - begin);
}

void FileDataSink::End() {
    if (m_flushAtEnd) m_path->Flush();
}
