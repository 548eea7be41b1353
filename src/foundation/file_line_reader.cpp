#include "foundation/file_line_reader.h"

void FileLineReader::LineCollector::ReceiveText(const Byte* begin, const Byte* end) {
    m_current.append(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
    m_hasText = true;
}

void FileLineReader::LineCollector::EndLine(std::uint64_t, std::uint64_t) {
    lines.push_back(std::move(m_current));
    m_current.clear();
    m_hasText = false;
}

// Text after the last line end is a last line of its own.
void FileLineReader::LineCollector::End(std::uint64_t) {
    if (m_hasText) EndLine(0, 0);
}

FileLineReader::FileLineReader(const FileLocation& location)
    : m_path(location), m_reader(m_path), m_maker(m_collector) {
    m_maker.Begin();
    Next();
}

void FileLineReader::Next() {
    while (m_collector.lines.empty() && !m_atEnd) ReadMore();
    m_hasLine = !m_collector.lines.empty();
    if (!m_hasLine) return;
    m_line = std::move(m_collector.lines.front());
    m_collector.lines.pop_front();
}

// The line maker holds back a CR or LF at the end of a piece until it sees the next byte, so a line
// is complete only once the following piece, or the end of the file, has been fed.
void FileLineReader::ReadMore() {
    OutputRange room(m_buffer, sizeof m_buffer);
    if (!m_reader.AtEnd()) m_reader.ReadSome(room);
    if (room.begin == m_buffer) {
        m_maker.End();
        m_atEnd = true;
        return;
    }
    m_maker.Receive(m_buffer, room.begin);
}
