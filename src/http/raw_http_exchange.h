// The pieces below the outgoing HTTP clients: the HTTP/1.0 request head, and sending and receiving
// over a plain or TLS socket.
//
// The head is written from the request's description alone; every text that goes into it (host,
// target, authorization values) is refused when it holds CR, LF or NUL, so no input can split the
// request or add fields to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "formats/message_receivers.h"
#include "foundation/data_stages.h"
#include "net/arrival_time.h"

class TLSClientSession;

// A text for a message head (a request line, a field name or value) holds CR, LF or NUL.
class UnsafeHeaderText : public DebuggableException {};
// The request line would be longer than kMaxRequestLineLength.
class RequestLineTooLong : public DebuggableException {};

// Throws UnsafeHeaderText when the text holds CR, LF or NUL.
void RefuseUnsafeHeaderText(std::string_view text);
// The same for a field name, which must also be a token: not empty, and no ":", blank or other
// control byte (an empty or blank-holding name would go out as a malformed line).
void RefuseUnsafeFieldName(std::string_view name);

// What the request head says. Texts are borrowed: they must outlive the call that writes the head.
struct HTTPRequestHead {
    bool post = false;
    // Without brackets; an IPv6 literal is bracketed where the head names it.
    std::string_view host;
    std::uint16_t port = 80;
    // The path and query, "/" at least.
    std::string_view target;
    bool tls = false;
    bool viaProxy = false;
    // A CONNECT to host:port (through a proxy only).
    bool connect = false;
    // Sent when not empty.
    std::string_view authorization;
    std::string_view proxyAuthorization;
    // Sent for a POST.
    std::uint64_t contentLength = 0;
};

constexpr std::size_t kMaxRequestLineLength = 8192;

// The request target as the request line sends it: the path and query directly, the absolute URL
// through a proxy, host:port for a CONNECT.
std::string RequestTargetAsSent(const HTTPRequestHead& head);
// The request line, "\r\n" at its end: "GET /x HTTP/1.0" directly; through a proxy the absolute
// form "GET http://h:8080/x HTTP/1.0" (the port only when it is not the scheme's), or
// "CONNECT h:443 HTTP/1.0".
std::string WriteHTTPRequestLine(const HTTPRequestHead& head);
// The request line and the fields, each line ending in "\r\n", without the empty line that ends
// the head: "Proxy-Connection: Keep-Alive" through a proxy, else "Connection: Keep-Alive";
// "Content-Length" for a POST; "Host" (without the port); "Accept: */*"; "Authorization" and
// "Proxy-Authorization" when given.
std::string WriteHTTPRequestHead(const HTTPRequestHead& head);

// The same fields as WriteHTTPRequestHead, as Header events into the message writer; answers the
// request line.
std::string WriteHTTPRequestFields(const HTTPRequestHead& head, MessageReceiver& writer);

// A message receiver in front of a request's writer that passes fields on and throws
// UnsafeHeaderText for a field name or value holding CR, LF or NUL (or a name holding ":"), so the
// fields a handler adds cannot split the request either. The target is not owned.
class RequestFieldGuard : public MessageReceiver {
  public:
    explicit RequestFieldGuard(MessageReceiver& target) : m_target(target) {}

    void Begin(std::uint64_t offset) override { m_target.Begin(offset); }
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t offset) override { m_target.EndHeader(offset); }
    LineReceiver& Body(std::uint64_t offset) override { return m_target.Body(offset); }
    void End(std::uint64_t offset) override { m_target.End(offset); }

  private:
    class ValueGuard : public DataReceiver, public DataWriter {
      public:
        void SetTarget(DataReceiver& target) { m_target = &target; }
        void Begin() override { m_target->Begin(); }
        void Receive(const Byte* begin, const Byte* end) override;
        void End() override { m_target->End(); }

      private:
        DataReceiver* m_target = nullptr;
    };

    MessageReceiver& m_target;
    ValueGuard m_value;
};

// One TLS write (with a session) or one plain send; the count sent, or -1.
long SendBytes(TLSClientSession* tls, int socket, ConstData bytes);

// The receiving side of one exchange, which can report the arrival of what it receives back to the
// server on the same connection (the server's back channel, in the format of ArrivalTimeWriter): per
// receive, the bytes received since the last report and the microseconds since the receiver was
// made. Reports are sent without waiting on a plain socket; what the socket does not take now waits
// for the next receive.
class ExchangeReceiver {
  public:
    // `tls` (null for a plain socket) must outlive the receiver.
    ExchangeReceiver(TLSClientSession* tls, int socket);

    // One TLS read of at most size - 1 bytes (so that the caller can terminate the text), or one
    // plain receive of at most `size` bytes; the count, 0 at the end of the stream, or -1. With
    // `reportArrivals`, the bytes received are reported back.
    long ReceiveBytes(Byte* buffer, std::size_t size, bool reportArrivals);

  private:
    void ReportArrivals();

    TLSClientSession* m_tls;
    int m_socket;
    std::uint64_t m_total = 0;
    std::uint64_t m_lastReport = 0;
    std::int64_t m_startTime;
    bool m_reporting = false;
    std::string m_reports;
    StringReceiver m_reportText{m_reports};
    ArrivalTimeWriter m_arrivals{m_reportText};
};

// A random integer in [0, n), from the C library's generator cut to 15 bits and scaled by n.
unsigned RandomBelow(unsigned n);
