// Outgoing request handlers: the object that describes a request of the socket HTTP client
// (PerformHTTPRequest) and consumes its response.
//
// HttpHandlerBase fixes the operations and the order in which the client calls them: GetURL;
// WriteRequestHeaders; for the response that answers the request (never for a 401 or 407 being
// answered, nor for a proxy tunnel's reply) ReceiveStatusCode, ReceiveContentLength (only when the
// response gives a length), ReceiveResponseHeaders, EndResponseHeaders, then BeginBody, ReceiveBody
// for each piece and EndBody. Progress is told what the client is doing, and CheckForStop is asked
// between the steps: it throws to abandon the request, and the client lets that exception pass.
//
// NameValueHttpHandler is the ready-made handler of the relay's small exchanges with its parent: it
// keeps the response head and, when asked, the body.
//
// A handler serves one request at a time on the caller's thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_string.h"
#include "base/const_data.h"
#include "foundation/list_pl.h"
#include "foundation/string_pl.h"

class HTTPPlugInInterface;
class Interruptor;
class MessageReceiver;

class HttpHandlerBase {
  public:
    virtual ~HttpHandlerBase() = default;

    // The request's http or https URL.
    virtual ByteString GetURL() = 0;
    // Adds the handler's own header fields to the request being written (WriteHeaderField).
    virtual void WriteRequestHeaders(MessageReceiver& request) = 0;
    // The response head, lower-cased, every line ending in its one line-end byte.
    virtual void ReceiveResponseHeaders(const char* head) = 0;
    // The same head as the server sent it, case kept, just before ReceiveResponseHeaders: for a
    // handler that passes lines of it on unchanged. Only the socket client (socket_http_client.h)
    // calls it.
    virtual void ReceiveResponseHeadAsSent(const char* head) {}
    virtual void ReceiveStatusCode(int code) = 0;
    virtual void ReceiveContentLength(std::uint64_t length) = 0;
    virtual void EndResponseHeaders() = 0;
    // When set once the head is in, the client reports the arrival of the body's bytes back to the
    // server on the same connection (the server's back channel).
    void SetBackChannel(bool backChannel) { m_backChannel = backChannel; }
    bool IsBackChannel() const { return m_backChannel; }
    virtual void BeginBody() = 0;
    virtual void ReceiveBody(ConstData bytes) = 0;
    virtual void EndBody() = 0;
    virtual void Progress(const char* text) = 0;
    virtual void CheckForStop() = 0;

  private:
    bool m_backChannel = false;
};

class NameValueHttpHandler : public HttpHandlerBase {
  public:
    // `stopCheck` (not owned) decides whether the request goes on: its CheckForInterruption throws
    // to stop it.
    NameValueHttpHandler(const char* url, Interruptor& stopCheck);

    // Off at first: the body is dropped.
    void SetCollectBody(bool collect) { m_collectBody = collect; }
    const std::string& Body() const { return m_body; }
    const std::string& ResponseHead() const { return m_head; }
    // True when the kept head has the field with a value that is not blank.
    bool HasHeaderValue(std::string_view name) const;
    // The field's value without its surrounding blanks and line breaks; empty when absent.
    std::string GetHeaderValue(std::string_view name) const;

    ByteString GetURL() override { return m_url; }
    // "User-Agent: KVRRelay".
    void WriteRequestHeaders(MessageReceiver& request) override;
    void ReceiveResponseHeaders(const char* head) override { m_head = head; }
    void ReceiveStatusCode(int) override {}
    void ReceiveContentLength(std::uint64_t) override {}
    void EndResponseHeaders() override {}
    void BeginBody() override {}
    void ReceiveBody(ConstData bytes) override;
    void EndBody() override {}
    void Progress(const char*) override {}
    void CheckForStop() override;

  private:
    ByteString m_url;
    Interruptor& m_stopCheck;
    bool m_collectBody = false;
    std::string m_body;
    std::string m_head;
};

// The server side of a name-value exchange: answers the plug-in's current request with status 200,
// each pair as one "name: value" line both among the extra header lines and in the plain-text body,
// in list order. A name or value holding CR, LF or NUL throws UnsafeHeaderText and sends nothing;
// a name holding ":" too. Answers whether the reply was sent.
bool WriteHeaderLines(HTTPPlugInInterface& interface, const ListPL<Pair<StringPL, StringPL>>& pairs);
