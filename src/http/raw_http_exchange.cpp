#include "http/raw_http_exchange.h"

#include <sys/socket.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "base/numerals.h"
#include "formats/message_writer.h"
#include "foundation/clocks.h"
#include "http/tls_client.h"
#include "net/socket_calls.h"
#include "net/socket_errors.h"

namespace {

using HeadFields = std::vector<std::pair<std::string_view, std::string>>;

// A host as it stands in a URL, an authority or a Host field: an IPv6 literal in brackets.
std::string HostText(std::string_view host) {
    if (host.find(':') == std::string_view::npos) return std::string(host);
    return "[" + std::string(host) + "]";
}

// The fields of the head, in the order they are sent.
HeadFields RequestHeadFields(const HTTPRequestHead& head) {
    RefuseUnsafeHeaderText(head.authorization);
    RefuseUnsafeHeaderText(head.proxyAuthorization);
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

void RefuseUnsafeHeaderText(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) throw UnsafeHeaderText();
}

void RefuseUnsafeFieldName(std::string_view name) {
    if (name.empty()) throw UnsafeHeaderText();
    for (char c : name)
        if (c == ':' || static_cast<unsigned char>(c) <= ' ' || c == '\x7f') throw UnsafeHeaderText();
}

std::string RequestTargetAsSent(const HTTPRequestHead& head) {
    RefuseUnsafeHeaderText(head.host);
    RefuseUnsafeHeaderText(head.target);
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

std::string WriteHTTPRequestFields(const HTTPRequestHead& head, MessageReceiver& writer) {
    std::string line = WriteHTTPRequestLine(head);
    for (const auto& [name, value] : RequestHeadFields(head)) {
        std::string fieldName(name);
        WriteHeaderField(writer, fieldName.c_str(), ConstData(value));
    }
    return line;
}

DataReceiver& RequestFieldGuard::Header(std::uint64_t offset, ConstData name) {
    RefuseUnsafeFieldName(name.View());
    m_value.SetTarget(m_target.Header(offset, name));
    return m_value;
}

void RequestFieldGuard::ValueGuard::Receive(const Byte* begin, const Byte* end) {
    RefuseUnsafeHeaderText(ConstData(begin, end).View());
    m_target->Receive(begin, end);
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

ExchangeReceiver::ExchangeReceiver(TLSClientSession* tls, int socket)
    : m_tls(tls), m_socket(socket), m_startTime(GetMonotonicTime()) {}

long ExchangeReceiver::ReceiveBytes(Byte* buffer, std::size_t size, bool reportArrivals) {
    long count = -1;
    if (m_tls) {
        count = size > 1 ? m_tls->Read(buffer, size - 1) : -1;
    } else {
        for (;;) {
            try {
                OutputRange range(buffer, size);
                count = static_cast<long>(ReceiveFromSocket(m_socket, range));
                break;
            } catch (const SocketBusyError&) {
                // Interrupted by a signal before anything arrived: receive again.
            } catch (const DebuggableException&) {
                break;
            }
        }
    }
    if (count > 0) {
        m_total += static_cast<std::uint64_t>(count);
        if (reportArrivals) ReportArrivals();
    }
    return count;
}

void ExchangeReceiver::ReportArrivals() {
    // A server that does not read its back channel must not make the reports grow without bound:
    // while this many bytes wait, no record is written, and the next one covers their bytes too.
    static constexpr std::size_t kMaxWaitingReports = 64 * 1024;
    if (!m_reporting) m_arrivals.StartArrivals();
    m_reporting = true;
    if (m_reports.size() < kMaxWaitingReports) {
        m_arrivals.ReceiveArrival(m_lastReport, m_total - m_lastReport,
                                  static_cast<std::uint64_t>(GetMonotonicTime() - m_startTime));
        m_lastReport = m_total;
    }
    ConstData waiting(m_reports);
    long sent = m_tls ? m_tls->Write(waiting)
                      : ::send(m_socket, waiting.begin, waiting.Length(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) m_reports.erase(0, static_cast<std::size_t>(sent));
}

unsigned RandomBelow(unsigned n) {
    static constexpr unsigned kRandomRange = 0x8000;
    return static_cast<unsigned>((static_cast<std::uint64_t>(std::rand()) & (kRandomRange - 1)) * n /
                                 kRandomRange);
}
