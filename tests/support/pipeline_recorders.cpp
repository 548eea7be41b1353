#include "support/pipeline_recorders.h"

#include <algorithm>
#include <cstring>

void ChunkReader::ReadSome(OutputRange& range) {
    const std::string& chunk = m_chunks[m_next];
    std::size_t count = std::min(range.Room(), chunk.size() - m_offset);
    if (count != 0) std::memcpy(range.begin, chunk.data() + m_offset, count);
    range.begin += count;
    m_offset += count;
    if (m_offset == chunk.size()) {
        ++m_next;
        m_offset = 0;
    }
}
