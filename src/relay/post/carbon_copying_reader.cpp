#include "relay/post/carbon_copying_reader.h"

void CarbonCopyingReader::ReadSome(OutputRange& range) {
    const Byte* first = range.begin;
    m_source.ReadSome(range);
    m_copy.Receive(first, range.begin);
}
