#include "http/http_response_writer.h"

#include "base/numerals.h"

namespace {
const std::string_view kLineEnd = "\r\n";
}  // namespace

void HTTPResponseWriter::ReceiveStatus(unsigned code, ConstData reason) {
    m_output->Begin();
    m_output->Write(ConstData(std::string_view("HTTP/1.0 ")))
        .Write(FormatDecimalDigits(code, 1).GetConstData())
        .Write(ConstData(std::string_view(" ")))
        .Write(reason)
        .Write(ConstData(kLineEnd));
}

DataReceiver& HTTPResponseWriter::ReceiveHeaderName(ConstData name) {
    m_output->Write(name).Write(ConstData(std::string_view(": ")));
    return m_appender;
}

void HTTPResponseWriter::EndHeaderValue() {
    m_output->Write(ConstData(kLineEnd));
}

DataReceiver& HTTPResponseWriter::EndHeaders() {
    m_output->Write(ConstData(kLineEnd));
    return m_appender;
}

void HTTPResponseWriter::EndResponse() {
    m_output->End();
}
