#include "http/http_handlers.h"

#include <cstring>

#include "formats/message_writer.h"
#include "foundation/interruptor.h"
#include "foundation/text_ranges.h"
#include "http/cgi_response.h"
#include "http/header_field_search.h"
#include "http/raw_http_exchange.h"

namespace {

ConstData TrimmedValue(const std::string& head, std::string_view name) {
    return TrimWhitespaceRange(GetHeaderFieldValue(ConstData(head), name));
}

}  // namespace

NameValueHttpHandler::NameValueHttpHandler(const char* url, Interruptor& stopCheck)
    : m_url(url, url + std::strlen(url)), m_stopCheck(stopCheck) {}

bool NameValueHttpHandler::HasHeaderValue(std::string_view name) const {
    return !TrimmedValue(m_head, name).IsEmpty();
}

std::string NameValueHttpHandler::GetHeaderValue(std::string_view name) const {
    return StringFromConstData(TrimmedValue(m_head, name));
}

void NameValueHttpHandler::WriteRequestHeaders(MessageReceiver& request) {
    static constexpr std::string_view kUserAgent = "KVRRelay";
    WriteHeaderField(request, "User-Agent", ConstData(kUserAgent));
}

void NameValueHttpHandler::ReceiveBody(ConstData bytes) {
    if (m_collectBody) m_body.append(bytes.View());
}

void NameValueHttpHandler::CheckForStop() {
    m_stopCheck.CheckForInterruption();
}

bool WriteHeaderLines(HTTPPlugInInterface& interface, const ListPL<Pair<StringPL, StringPL>>& pairs) {
    std::string lines;
    for (const auto& [name, value] : pairs) {
        RefuseUnsafeFieldName(name.GetConstData().View());
        RefuseUnsafeHeaderText(value.GetConstData().View());
        lines.append(name.GetCString()).append(": ").append(value.GetCString()).append("\r\n");
    }
    HTTPClientWriter writer(interface);
    return SendPlainTextResponseWithHeaders(writer, lines, lines, 200, false, false);
}
