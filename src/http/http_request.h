// HTTPRequest: one request the server read, shared by reference between the connection that read
// it and whoever answers it (a status reply, a file reply or a plug-in). HTTPRequestError: a request
// refused with an HTTP status.
//
// The record owns the accepted connection; the socket is shut down and closed when the last holder
// lets the record go, and that close ends the reply (HTTP/1.0, no keep-alive). It holds the method
// ("GET" or "POST"), the request target exactly as received, the header fields (names compared
// ignoring ASCII case, every spelling of one name sharing the entry of its first spelling, values in
// arrival order), the held body bytes, which are served before the socket is read again, and the
// pace of the body's arrival (body_pace.h). The held bytes are those that arrived in the same read as
// the end of the head and those the server loop read for a plug-in before the plug-in took the
// request: the whole body, or its first kMostHeldBodyBytes when it is longer.
//
// Filled by the reading connection on the loop thread, then handed on (std::shared_ptr, atomic
// count) to one answering side at a time; it has no lock of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/const_data.h"
#include "base/exceptions.h"
#include "http/body_pace.h"
#include "net/socket_connection.h"

class HTTPRequestError : public DebuggableException {
  public:
    explicit HTTPRequestError(int status) : m_status(status) {}
    int Status() const { return m_status; }

  private:
    int m_status;
};

class HTTPRequest {
  public:
    static constexpr std::size_t kReadBufferSize = 1024;
    // A plug-in's request waits on the server loop for at most this much of its body: waiting costs
    // the loop a socket and these bytes, where a plug-in would spend a thread.
    static constexpr std::size_t kMostHeldBodyBytes = 64 * 1024;

    explicit HTTPRequest(SocketConnection connection) : m_connection(std::move(connection)) {}
    HTTPRequest(const HTTPRequest&) = delete;
    HTTPRequest& operator=(const HTTPRequest&) = delete;

    SocketConnection& Connection() { return m_connection; }
    const IPAddress& ClientAddress() const { return m_connection.Peer(); }

    // "GET" or "POST"; empty until the request line was read.
    ConstData Method() const { return ConstDataOfCString(m_method); }
    void SetMethod(const char* method) { m_method = method; }
    const std::string& URL() const { return m_url; }
    void SetURL(ConstData url) { m_url.assign(url.Chars(), url.Length()); }

    void AddHeaderValue(ConstData name, ConstData value);
    // Every value of the field, in arrival order; null when the request has none.
    const std::vector<std::string>* FindHeaderValues(std::string_view name) const;
    // The first value of the field; empty when it is absent.
    std::string_view FirstHeaderValue(std::string_view name) const;

    // The buffer every read of the head goes into.
    OutputRange ReadBuffer() { return OutputRange(m_buffer.data(), m_buffer.size()); }
    // Holds [begin, end) of the read buffer: the body bytes that came with the head.
    void SetBodyWindow(std::size_t begin, std::size_t end);
    // The body bytes to hold before a plug-in takes the request: the "Content-Length" value (0 when
    // absent or malformed: the plug-in meets the error itself), at most kMostHeldBodyBytes.
    std::size_t BodyBytesToHold() const;
    // The body bytes held so far, served or not.
    std::size_t HeldBodyBytes() const { return m_body.size(); }
    bool IsBodyHeld() const { return HeldBodyBytes() >= BodyBytesToHold(); }
    // Reads once from the connection onto the held body bytes, up to BodyBytesToHold; answers the
    // count (as SocketConnection::Read, whose errors it throws).
    std::size_t ReadBodyToHold();
    // Copies as much of the unserved held body as fits into the output, advancing it; answers the
    // count.
    std::size_t TakeBodyBytes(OutputRange& output);
    BodyPace& Pace() { return m_pace; }

    // Whether the answering side has handed any reply bytes on; set by it.
    bool ReplyStarted() const { return m_replyStarted; }
    void MarkReplyStarted() { m_replyStarted = true; }

  private:
    struct NameLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };

    SocketConnection m_connection;
    const char* m_method = "";
    std::string m_url;
    std::map<std::string, std::vector<std::string>, NameLess> m_headers;
    std::array<Byte, kReadBufferSize> m_buffer{};
    std::vector<Byte> m_body;
    std::size_t m_bodyServed = 0;
    BodyPace m_pace;
    bool m_replyStarted = false;
};
