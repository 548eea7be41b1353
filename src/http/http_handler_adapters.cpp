#include "http/http_handler_adapters.h"

#include <string_view>

#include "base/character_classes.h"

void ResponseHeadRebuilder::ReceiveStatus(unsigned code, ConstData reason) {
    m_head.append("http/1.0 ").append(std::to_string(code)).append(" ").append(reason.View()).append("\r\n");
}

DataReceiver& ResponseHeadRebuilder::ReceiveHeaderName(ConstData name) {
    m_head.append(name.View()).append(": ");
    return m_appender.SetTarget(m_head);
}

void ResponseHeadRebuilder::EndHeaderValue() {
    m_head.append("\r\n");
}

const std::string& ResponseHeadRebuilder::EndHeadText() {
    return m_head.append("\r\n");
}

void HttpHandlerResponseReceiver::ReceiveStatus(unsigned code, ConstData reason) {
    m_handler.ReceiveStatusCode(static_cast<int>(code));
    ResponseHeadRebuilder::ReceiveStatus(code, reason);
}

DataReceiver& HttpHandlerResponseReceiver::ReceiveHeaderName(ConstData name) {
    DataReceiver& text = ResponseHeadRebuilder::ReceiveHeaderName(name);
    m_inContentLength = Ascii::EqualIgnoringCase(name, ConstData(std::string_view("content-length")));
    if (!m_inContentLength) return text;
    // The maker stores only a well-formed number, so the marker stays for anything else.
    m_contentLength = kNoLength;
    return m_lengthTee.SetTargets(text, m_lengthMaker.SetTarget(m_contentLength));
}

void HttpHandlerResponseReceiver::EndHeaderValue() {
    ResponseHeadRebuilder::EndHeaderValue();
    if (m_inContentLength && m_contentLength != kNoLength) m_handler.ReceiveContentLength(m_contentLength);
    m_inContentLength = false;
}

DataReceiver& HttpHandlerResponseReceiver::EndHeaders() {
    m_handler.ReceiveResponseHeaders(EndHeadText().c_str());
    m_handler.EndResponseHeaders();
    return m_body;
}
