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
