#include "foundation/data_filterer.h"

namespace {
constexpr std::size_t kFilterBufferBytes = 1024;
}

void DataFilterer::Begin() {
    m_target->Begin();
}

void DataFilterer::Receive(const Byte* begin, const Byte* end) {
    ConstData input(begin, end);
    while (!input.IsEmpty()) {
        Byte buffer[kFilterBufferBytes];
        OutputRange output(buffer, sizeof buffer);
        const Byte* before = input.begin;
        m_filter->Filter(input, output);
        if (input.begin == before && output.begin == buffer) throw DataFilterStalled();
        m_target->Receive(buffer, output.begin);
    }
}

void DataFilterer::End() {
    while (!m_filter->IsComplete()) {
        Byte buffer[kFilterBufferBytes];
        OutputRange output(buffer, sizeof buffer);
        m_filter->Finish(output);
        if (output.begin == buffer && !m_filter->IsComplete()) throw DataFilterStalled();
        m_target->Receive(buffer, output.begin);
    }
    m_target->End();
}

void FilterRangeInto(DataReceiver& target, ConstData data, DataFilter& filter) {
    DataFilterer filterer(filter, target);
    ReceiveComplete(filterer, data);
}
