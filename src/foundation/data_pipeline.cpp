#include "foundation/data_pipeline.h"

#include <algorithm>
#include <cstring>

void CopyDataIntoRange(OutputRange& output, ConstData& input) {
    std::size_t count = std::min(input.Length(), output.Room());
    if (count != 0) std::memmove(output.begin, input.begin, count);
    output.begin += count;
    input.begin += count;
}

void DataReader::ReadInto(Byte* begin, Byte* end) {
    OutputRange rest(begin, end);
    while (!rest.IsFull()) {
        if (!HasMore()) throw NoMoreData();
        ReadSome(rest);
    }
}

void DataFilter::Filter(ConstData& input, OutputRange& output) { CopyDataIntoRange(output, input); }
