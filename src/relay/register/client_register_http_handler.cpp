#include "relay/register/client_register_http_handler.h"

#include <algorithm>

#include "base/numerals.h"
#include "formats/message_writer.h"
#include "foundation/event.h"
#include "http/header_field_search.h"
#include "http/http_plugin.h"

namespace {

constexpr std::string_view kBlanks = " \t\r\n";
constexpr std::string_view kDigits = "0123456789";
constexpr std::string_view kResponseWas = "\r\nThe parent relay's response was as follows:\r\n";
constexpr std::string_view kComputerIDHeader = "x-veltra-itclient-computerid";

std::string_view Trimmed(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::string_view FieldValue(std::string_view head, std::string_view name) {
    return Trimmed(GetHeaderFieldValue(ConstData(head), name).View());
}

bool HasField(std::string_view head, std::string_view name) {
    return FindHeaderField(ConstData(head), name).Length() != 0;
}

// The whole field, line ends at its end left out.
std::string WholeLine(std::string_view head, std::string_view name) {
    std::string_view field = FindHeaderField(ConstData(head), name).View();
    while (!field.empty() && (field.back() == '\r' || field.back() == '\n')) field.remove_suffix(1);
    return std::string(field);
}

// The first run of digits in `text` (0 when there is none); a run too long for 32 bits throws.
std::uint32_t FirstDigits(std::string_view text) {
    std::size_t start = text.find_first_of(kDigits);
    if (start == std::string_view::npos) return 0;
    std::size_t end = text.find_first_not_of(kDigits, start);
    return DecimalToUInt32(ConstData(text.substr(start, end == std::string_view::npos ? end : end - start)));
}

void SetError(ParentRegistrationReply& reply, std::string_view message, std::string_view head) {
    reply.hasError = true;
    reply.errorText.clear();
    AppendToErrorText(reply, std::string(message) + std::string(kResponseWas));
    AppendToErrorText(reply, head);
}

// The computer-ID header's value: "id,slot,port[,resend,good[,bad]]".
void ReadComputerID(std::string_view head, ParentRegistrationReply& reply) {
    constexpr std::string_view kBadlyFormatted =
        "Badly formatted x-veltra-itclient-computerid header in response from parent relay server.";
    if (!HasField(head, kComputerIDHeader))
        return SetError(reply, "Can't find x-veltra-itclient-computerid header in response from parent relay server.",
                        head);
    std::string_view value = FieldValue(head, kComputerIDHeader);
    std::size_t comma1 = value.find(',');
    if (comma1 == std::string_view::npos) return SetError(reply, kBadlyFormatted, head);

    std::string_view idText = value.substr(0, comma1);
    idText.remove_prefix(std::min(idText.size(), idText.find_first_not_of(" \t")));
    reply.grant.computerID = DecimalToUInt64(ConstData(idText));
    if (reply.grant.computerID == 0)
        return SetError(
            reply, "ComputerID of 0 is invalid in x-veltra-itclient-computerid header in response from parent relay server.",
            head);
    std::string_view rest = value.substr(comma1 + 1);
    reply.grant.slot = FirstDigits(rest.substr(0, rest.find(',')));
    if (reply.grant.slot == 0)
        return SetError(
            reply, "LicenseID of 0 is invalid in x-veltra-itclient-computerid header in response from parent relay server.",
            head);
    std::size_t comma2 = rest.find(',');
    if (comma2 == std::string_view::npos)
        return SetError(reply, std::string(kBadlyFormatted) + "  UDPPort is missing.", head);
    rest = rest.substr(comma2 + 1);  // the parent's UDP port is not read: clients get this relay's own
    std::size_t comma3 = rest.find(',');
    if (comma3 == std::string_view::npos) return;
    rest = rest.substr(comma3 + 1);
    std::size_t comma4 = rest.find(',');
    reply.grant.resendReports = FirstDigits(rest.substr(0, comma4)) != 0;
    if (comma4 == std::string_view::npos) return SetError(reply, kBadlyFormatted, head);
    rest = rest.substr(comma4 + 1);
    std::size_t comma5 = rest.find(',');
    reply.grant.lastGoodSequence = FirstDigits(rest.substr(0, comma5));
    if (comma5 == std::string_view::npos) return;
    reply.grant.lastBadSequence = FirstDigits(rest.substr(comma5 + 1));
}

}  // namespace

void AppendToErrorText(ParentRegistrationReply& reply, std::string_view text) {
    if (reply.errorText.size() >= kMaxErrorTextBytes) return;
    std::size_t room = kMaxErrorTextBytes - reply.errorText.size();
    if (text.size() <= room) {
        reply.errorText.append(text);
        return;
    }
    reply.errorText.append(text.substr(0, room));
    reply.errorText.append(kErrorTextCutMark);
}

void ReadParentRegistrationHead(std::string_view head, ParentRegistrationReply& reply) {
    reply.dateLine = WholeLine(head, "Date");
    reply.serverLine = WholeLine(head, "x-veltra-server");
    if (FieldValue(head, "x-veltra-clientregister-status").find("Invalid Sequence Number") != std::string_view::npos) {
        reply.invalidSequence = true;
        return;
    }
    if (HasField(head, "x-veltra-clientregister-toomanychildrelays")) {
        reply.tooManyChildRelays = true;
        reply.childCount = DecimalToUInt32(ConstData(FieldValue(head, "x-veltra-clientregister-toomanychildrelays")));
        return;
    }
    if (HasField(head, "x-veltra-clientregister-toomanychildren")) {
        reply.tooManyChildren = true;
        reply.childCount = DecimalToUInt32(ConstData(FieldValue(head, "x-veltra-clientregister-toomanychildren")));
        return;
    }
    if (HasField(head, "x-kvr-wakeonlan-adapterinfo"))
        reply.adapter = ParseWakeOnLANAdapterInfo(FieldValue(head, "x-kvr-wakeonlan-adapterinfo"));
    ReadComputerID(head, reply);
}

void ClientRegisterBodyReceiver::Receive(std::string_view bytes) {
    constexpr std::size_t kVersionLineNumber = 4;  // the fifth line, counting from 0
    for (char byte : bytes) {
        if (byte == '\n') {
            ++m_lineNumber;
            if (m_lineNumber > kVersionLineNumber) return;
        } else if (byte != '\r' && m_lineNumber == kVersionLineNumber && m_line.size() < kMaxLineBytes) {
            m_line.push_back(byte);
        }
    }
}

ClientRegisterHttpHandler::ClientRegisterHttpHandler(std::string url, Event& stop)
    : m_url(std::move(url)), m_stop(stop) {}

ByteString ClientRegisterHttpHandler::GetURL() { return ByteString(ConstData(std::string_view(m_url))); }

void ClientRegisterHttpHandler::WriteRequestHeaders(MessageReceiver& request) {
    WriteHeaderField(request, "User-Agent", ConstData(std::string_view("KVRRelay")));
}

void ClientRegisterHttpHandler::ReceiveResponseHeadAsSent(const char* head) {
    ReadParentRegistrationHead(head, m_reply);
}

void ClientRegisterHttpHandler::ReceiveBody(ConstData bytes) {
    if (m_reply.hasError) {
        AppendToErrorText(m_reply, bytes.View());
        return;
    }
    m_body.Receive(bytes.View());
    m_reply.bodyLine = m_body.Line();
}

void ClientRegisterHttpHandler::CheckForStop() {
    if (m_stop.Wait(0)) throw HTTPPlugInAbortException();
}
