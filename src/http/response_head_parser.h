// ResponseHeadParser: reads the head of an HTTP response as it arrives from the network;
// ChunkedBodyDrain: reads and discards a chunked body; ResponseBodyFraming: finds where the body
// that a head announces ends.
//
// The head parser takes bytes in pieces cut anywhere. It keeps each line of the head with one
// line-end byte (CR, LF, or the CR of a CR LF) and reads from the lines the status code, the content
// length, a chunked transfer coding, a "Proxy-Connection: Keep-Alive" or "Connection: Keep-Alive" and
// the authentication challenges. An empty line ends the head. A head longer than kMaxHeadLength throws
// ResponseHeadTooLarge; a Content-Length that is not a decimal number of 64 bits throws
// MalformedContentLength. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/const_data.h"
#include "base/exceptions.h"

class ResponseHeadTooLarge : public DebuggableException {};
class MalformedContentLength : public DebuggableException {};
class MalformedChunkedBody : public DebuggableException {};

// The decimal number of a header value: spaces are skipped wherever they stand ('1 2' is 12); any
// other non-digit, and a value beyond 2^64 - 1, give 0.
std::uint64_t ParseHeaderDecimal64(ConstData text);

class ResponseHeadParser {
  public:
    static constexpr std::size_t kMaxHeadLength = 64 * 1024;

    // Takes head bytes from the front of `input`; true once the head is complete, `input` then
    // beginning with the body. Further calls only drop the LF of the head's last CR LF.
    bool Consume(ConstData& input);
    bool IsComplete() const { return m_complete; }

    // From a first line beginning with "HTTP/" (any case); 0 without one.
    unsigned StatusCode() const { return m_statusCode; }
    bool HasContentLength() const { return m_hasContentLength; }
    std::uint64_t ContentLength() const { return m_contentLength; }
    bool IsChunked() const { return m_chunked; }
    bool KeepsProxyConnectionAlive() const { return m_proxyKeepAlive; }
    // "Connection: keep-alive", which proxies such as Squid send in answer to an HTTP/1.0 client's
    // "Proxy-Connection: Keep-Alive".
    bool KeepsConnectionAlive() const { return m_keepAlive; }
    // The values of the "WWW-Authenticate" and "Proxy-Authenticate" fields, blanks trimmed, each
    // followed by its line-end byte: one challenge per line.
    const std::string& ServerChallenges() const { return m_serverChallenges; }
    const std::string& ProxyChallenges() const { return m_proxyChallenges; }
    // The lines of the head as stored, without the empty line that ended it.
    const std::string& Head() const { return m_head; }
    // The head with A-Z lowered, as the clients hand it to their handlers.
    std::string LowerCasedHead() const;

  private:
    void AddLineEnd(Byte lineEnd);
    void ExamineLine(ConstData line, Byte lineEnd);

    std::string m_head;
    std::size_t m_lineStart = 0;
    unsigned m_lineCount = 0;
    bool m_skipLineFeed = false;
    bool m_complete = false;
    unsigned m_statusCode = 0;
    bool m_hasContentLength = false;
    std::uint64_t m_contentLength = 0;
    bool m_chunked = false;
    bool m_proxyKeepAlive = false;
    bool m_keepAlive = false;
    std::string m_serverChallenges;
    std::string m_proxyChallenges;
};

// Reads a chunked body (RFC 7230 4.1) to its end and discards it, so that the connection can carry
// the next request. A chunk-size or trailer line of more than kMaxLineLength bytes, or a size that is
// not hexadecimal, throws MalformedChunkedBody.
class ChunkedBodyDrain {
  public:
    static constexpr std::size_t kMaxLineLength = 1024;

    // Takes body bytes from the front of `input`; true once the body has ended, `input` then holding
    // what follows it.
    bool Consume(ConstData& input);
    bool IsComplete() const { return m_state == State::Done; }

  private:
    enum class State { SizeLine, Data, DataEnd, Trailer, Done };

    void EndLine();

    State m_state = State::SizeLine;
    std::string m_line;
    std::uint64_t m_remaining = 0;
};

// Where a response body ends, as its complete head says: a chunked body (read and dropped, never
// kept) at its last chunk, a body with a Content-Length after that many bytes, any other at the end
// of the connection. Throws what ChunkedBodyDrain throws.
class ResponseBodyFraming {
  public:
    explicit ResponseBodyFraming(const ResponseHeadParser& head);

    // Takes the body bytes at the front of `input`; `input` then holds what of them the caller keeps
    // (nothing of a chunked body, nothing past the length). True once the body has ended.
    bool Take(ConstData& input);
    // True when the connection ended before the body did.
    bool IsCutShort() const;

  private:
    std::optional<ChunkedBodyDrain> m_chunks;
    std::optional<std::uint64_t> m_remaining;
};
