#include "foundation/data_pipeline.h"

void CopyDataIntoRange(OutputRange& output, ConstData& input) {
    CopyBytesIntoRange(output, input);
}

void DataReader::ReadInto(Byte* begin, Byte* end) {
    OutputRange rest(begin, end);
    while (!rest.IsFull()) {
        if (!HasMore()) throw NoMoreData();
        ReadSome(rest);
    }
}

void DataFilter::Filter(ConstData& input, OutputRange& output) {
    CopyDataIntoRange(output, input);
}
