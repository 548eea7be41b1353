#include "formats/message_receivers.h"

#include "foundation/data_stages.h"

IgnoreLineReceiver& IgnoreLineReceiver::Instance() {
    static IgnoreLineReceiver instance;
    return instance;
}

DataReceiver& IgnoreMessageReceiver::Header(std::uint64_t, ConstData) {
    return IgnoreDataReceiver::Instance();
}

LineReceiver& IgnoreMessageReceiver::Body(std::uint64_t) {
    return IgnoreLineReceiver::Instance();
}

DataReceiver& HTTPResponseReceiver::ReceiveHeaderName(ConstData) {
    return IgnoreDataReceiver::Instance();
}

DataReceiver& HTTPResponseReceiver::EndHeaders() {
    return IgnoreDataReceiver::Instance();
}

DataReceiver& HTTPRequestReceiver::ReceiveHeaderName(ConstData) {
    return IgnoreDataReceiver::Instance();
}

DataReceiver& HTTPRequestReceiver::EndHeaders(std::uint64_t) {
    return IgnoreDataReceiver::Instance();
}

void SendHeaderField(MessageReceiver& receiver, std::uint64_t start, std::uint64_t end, const char* name,
                     ConstData value) {
    SendHeaderFieldRanges(receiver, start, end, name, std::span<const ConstData>(&value, 1));
}

void SendHeaderFieldRanges(MessageReceiver& receiver, std::uint64_t start, std::uint64_t end,
                           const char* name, std::span<const ConstData> valueRanges) {
    ReceiveCompleteEach(receiver.Header(start, ConstDataOfCString(name)), valueRanges);
    receiver.EndHeader(end);
}
