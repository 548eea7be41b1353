#include "net/raw_http_exchange.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "foundation/numerals.h"
#include "net/socket_calls.h"
#include "net/socket_errors.h"
#include "net/tls_client.h"

namespace {

using HeadFields = std::vector<std::pair<std::string_view, std::string>>;

// A host as it stands in a URL, an authority or a Host field: an IPv6 literal in brackets.
std::string HostText(std::string_view host) {
    if (host.find(':') == std::string_view::npos) return std::string(host);
    return "[" + std::string(host) + "]";
}

// The fields of the head, in the order they are sent.
HeadFields RequestHeadFields(const HTTPRequestHead& head) {
    RefuseUnsafeRequestText(head.authorization);
    RefuseUnsafeRequestText(head.proxyAuthorization);
    HeadFields fields;
    fields.emplace_back(head.viaProxy ? "Proxy-Connection" : "Connection", "Keep-Alive");
    if (head.post) fields.emplace_back("Content-Length", FormatDecimalDigits(head.contentLength, 1).View());
    fields.emplace_back("Host", HostText(head.host));
    fields.emplace_back("Accept", "*/*");
    if (!head.authorization.empty()) fields.emplace_back("Authorization", head.authorization);
    if (!head.proxyAuthorization.empty()) fields.emplace_back("Proxy-Authorization", head.proxyAuthorization);
    return fields;
}

}  // namespace

void RefuseUnsafeRequestText(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) throw UnsafeRequestText();
}

std::string RequestTargetAsSent(const HTTPRequestHead& head) {
    RefuseUnsafeRequestText(head.host);
    RefuseUnsafeRequestText(head.target);
    std::string port(FormatDecimalDigits(head.port, 1).View());
    if (head.viaProxy && head.connect) return HostText(head.host) + ":" + port;
    if (!head.viaProxy) return std::string(head.target);
    std::string target = head.tls ? "https://" : "http://";
    target += HostText(head.host);
    if (head.port != (head.tls ? 443 : 80)) target += ":" + port;
    return target + std::string(head.target);
}

std::string WriteHTTPRequestLine(const HTTPRequestHead& head) {
    const char* method = head.viaProxy && head.connect ? "CONNECT " : head.post ? "POST " : "GET ";
    std::string line = method + RequestTargetAsSent(head) + " HTTP/1.0\r\n";
    if (line.size() > kMaxRequestLineLength) throw RequestLineTooLong();
    return line;
}

std::string WriteHTTPRequestHead(const HTTPRequestHead& head) {
    std::string text = WriteHTTPRequestLine(head);
    for (const auto& [name, value] : RequestHeadFields(head)) {
        text.append(name).append(": ").append(value).append("\r\n");
    }
    return text;
}

long SendBytes(TLSClientSession* tls, int socket, ConstData bytes) {
    if (tls) return tls->Write(bytes);
    for (;;) {
        try {
            return static_cast<long>(SendOnSocket(socket, bytes));
        } catch (const SocketBusyError&) {
            // Interrupted by a signal before anything was sent: send again.
        } catch (const DebuggableException&) {
            return -1;
        }
    }
}

ExchangeReceiver::ExchangeReceiver(TLSClientSession* tls, int socket) : m_tls(tls), m_socket(socket) {}

long ExchangeReceiver::ReceiveBytes(Byte* buffer, std::size_t size) {
    if (m_tls) return size > 1 ? m_tls->Read(buffer, size - 1) : -1;
    for (;;) {
        try {
            OutputRange range(buffer, size);
            return static_cast<long>(ReceiveFromSocket(m_socket, range));
        } catch (const SocketBusyError&) {
            // Interrupted by a signal before anything arrived: receive again.
        } catch (const DebuggableException&) {
            return -1;
        }
    }
}

unsigned RandomBelow(unsigned n) {
    static constexpr unsigned kRandomRange = 0x8000;
    return static_cast<unsigned>((static_cast<std::uint64_t>(std::rand()) & (kRandomRange - 1)) * n / kRandomRange);
}
