#include "relay/register/ping_request_http_handler.h"

#include <algorithm>
#include <string_view>

#include "base/numerals.h"
#include "formats/message_writer.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"

namespace {

constexpr std::string_view kSuccess = "Success";
constexpr std::string_view kBlanks = "\t\n\r ";

}  // namespace

PingRequestHttpHandler::PingRequestHttpHandler(std::string url, Event& stop) : m_url(std::move(url)), m_stop(stop) {}

ByteString PingRequestHttpHandler::GetURL() {
    return ByteString(ConstData(std::string_view(m_url)));
}

void PingRequestHttpHandler::WriteRequestHeaders(MessageReceiver& request) {
    WriteHeaderField(request, "User-Agent", ConstData(std::string_view("KVRRelay")));
}

void PingRequestHttpHandler::ReceiveBody(ConstData bytes) {
    if (m_hasError) {
        std::size_t room = kMaxBodyLength - std::min(kMaxBodyLength, m_errorText.size());
        m_errorText.append(bytes.Chars(), std::min(room, bytes.Length()));
        return;
    }
    if (bytes.Length() > kMaxBodyLength - m_body.size()) {
        SetError("Message body is too long (exceeds 1K)");
        return;
    }
    m_body.append(bytes.Chars(), bytes.Length());
}

void PingRequestHttpHandler::EndBody() {
    if (m_hasError) return;
    std::string_view body(m_body);
    if (body.substr(0, kSuccess.size()) != kSuccess) {
        SetError("Message body does not start with 'Success'");
        return;
    }
    body.remove_prefix(kSuccess.size());
    std::size_t digits = body.find_first_not_of(kBlanks);
    body.remove_prefix(digits == std::string_view::npos ? body.size() : digits);
    std::size_t end = body.find_first_not_of("0123456789");
    std::string_view number = body.substr(0, end);
    if (number.empty() || ParseDecimalUInt32(ConstData(number), m_pingCount) != NumeralStatus::Success) {
        m_pingCount = 0;
        SetError("Could not convert ping count to integer");
    }
}

void PingRequestHttpHandler::CheckForStop() {
    if (m_stop.Wait(0)) throw StopRequest();
}

void PingRequestHttpHandler::SetError(const char* text) {
    m_hasError = true;
    m_errorText = text;
}
