// HTTPRequest: one request the server read, shared by reference between the connection that read
// it and whoever answers it (a status reply, a file reply or a plug-in). HTTPRequestError: a request
// refused with an HTTP status.
//
// The record owns the accepted connection; the socket is shut down and closed when the last holder
// lets the record go, and that close ends the reply (HTTP/1.0, no keep-alive). It holds the method
// ("GET" or "POST"), the request target exactly as received, the header fields (names compared
// ignoring ASCII case, every spelling of one name sharing the entry of its first spelling, values in
// arrival order), and the body window: the body bytes that arrived in the same read as the end of
// the head, which are served before the socket is read again.
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
    // Marks [begin, end) of the read buffer as body bytes that came with the head.
    void SetBodyWindow(std::size_t begin, std::size_t end);
    // Copies as much of the unread body window as fits into the output, advancing it; answers the
    // count.
    std::size_t TakeBodyBytes(OutputRange& output);

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
    std::size_t m_bodyRead = 0;
    std::size_t m_bodyEnd = 0;
    bool m_replyStarted = false;
};
