#include "base/data_pipeline.h"

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

void DataFilter::FilterInto(ConstData input, OutputRange& output) {
    if (input.IsEmpty()) return;
    Filter(input, output);
}

void DataReceiver::ReceiveEach(std::span<const ConstData> ranges) {
    for (ConstData range : ranges) Receive(range);
}

void PumpData(DataReader& reader, DataReceiver& receiver) {
    constexpr std::size_t kPumpBufferBytes = 4096;
    receiver.Begin();
    Byte buffer[kPumpBufferBytes];
    while (reader.HasMore()) {
        OutputRange free(buffer, sizeof buffer);
        reader.ReadSome(free);
        receiver.Receive(buffer, free.begin);
    }
    receiver.End();
}

void ReceiveComplete(DataReceiver& receiver, ConstData data) {
    receiver.Begin();
    receiver.Receive(data);
    receiver.End();
}

void ReceiveCompleteEach(DataReceiver& receiver, std::span<const ConstData> ranges) {
    receiver.Begin();
    receiver.ReceiveEach(ranges);
    receiver.End();
}

Byte ReadByte(DataReader& reader) {
    Byte byte = 0;
    reader.ReadInto(&byte, &byte + 1);
    return byte;
}
