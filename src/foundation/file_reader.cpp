#include "foundation/file_reader.h"

#include <algorithm>

FileReader::FileReader(const PosixPlatform::FileReadingPath& path, std::uint64_t start)
    : m_path(&path), m_position(start), m_size(path.GetSize()) {}

void FileReader::ReadSome(OutputRange& range) {
    std::size_t read = m_path->ReadAt(m_position, range.begin, range.Room());
    m_position += read;
    range.begin += read;
}

void FileReader::ReadInto(Byte* begin, Byte* end) {
    std::size_t wanted = static_cast<std::size_t>(end - begin);
    std::size_t read = m_path->ReadAt(m_position, begin, wanted);
    m_position += read;
    if (read < wanted) throw NoMoreData();
}

namespace {

std::uint64_t StretchLength(const PosixPlatform::FileReadingPath& path, std::uint64_t start,
                            std::uint64_t end) {
    if (start > end) throw FileReadingLoopEndOfFileError(path.GetLocation().GetConstData(), 0);
    return end - start;
}

}  // namespace

FileReadingLoop::FileReadingLoop(OutputRange buffer, const PosixPlatform::FileReadingPath& path,
                                 std::uint64_t start)
    : FileReadingLoop(buffer, path, start, path.GetSize()) {}

FileReadingLoop::FileReadingLoop(OutputRange buffer, const PosixPlatform::FileReadingPath& path,
                                 std::uint64_t start, std::uint64_t end)
    : m_buffer(buffer), m_reader(path, start), m_remaining(StretchLength(path, start, end)) {
    if (m_remaining != 0) ReadChunk();
}

void FileReadingLoop::Advance() {
    m_remaining -= m_chunk.Length();
    if (m_remaining != 0) ReadChunk();
}

// The reader's size was taken at set-up, so a file that shrank since shows as a read that finds
// nothing; both that and a reader at its end mean the stretch cannot be delivered.
void FileReadingLoop::ReadChunk() {
    ConstData path = m_reader.GetPath().GetLocation().GetConstData();
    if (m_reader.AtEnd()) throw FileReadingLoopEndOfFileError(path, 0);
    OutputRange room(m_buffer.begin, m_buffer.begin + std::min<std::uint64_t>(m_buffer.Room(), m_remaining));
    m_reader.ReadSome(room);
    if (room.begin == m_buffer.begin) throw FileReadingLoopEndOfFileError(path, 0);
    m_chunk = ConstData(m_buffer.begin, room.begin);
}
