#include "formats/section_reader.h"

#include <algorithm>

void SectionReader::ReadSome(OutputRange& range) {
    std::uint64_t room = std::min<std::uint64_t>(range.Room(), m_remaining);
    OutputRange limited(range.begin, range.begin + room);
    m_reader->ReadSome(limited);
    m_remaining -= static_cast<std::uint64_t>(limited.begin - range.begin);
    range.begin = limited.begin;
}
