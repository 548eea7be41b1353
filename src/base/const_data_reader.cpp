#include "base/const_data_reader.h"

void ConstDataReader::ReadInto(Byte* begin, Byte* end) {
    if (static_cast<std::size_t>(end - begin) > m_rest.Length()) throw NoMoreData();
    OutputRange range(begin, end);
    ReadSome(range);
}

void ConstDataReader::ReadSome(OutputRange& range) {
    CopyBytesIntoRange(range, m_rest);
}
