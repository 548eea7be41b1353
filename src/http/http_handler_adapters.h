// Adapters that let a transport speaking the message receivers (the libcurl request sender) serve
// the outgoing request handlers of the socket client:
//
// - ResponseHeadRebuilder: a response receiver that rebuilds the head it is given as text: the line
//   "http/1.0 <code> <reason>", each field as "<name>: <value>" (names lower-cased as the header
//   parsing gives them, values as sent), every line ending in CR LF, and the empty line at the end.
//   The base of the two handler response receivers.
// - HttpHandlerResponseReceiver: a response into an HttpHandlerBase: ReceiveStatusCode at the status,
//   ReceiveContentLength at a Content-Length field whose value is a decimal number, then
//   ReceiveResponseHeaders with the rebuilt head and EndResponseHeaders; the body goes to
//   BeginBody, ReceiveBody and EndBody.
// - HttpHandlerDataReceiver: a body into the handler's BeginBody, ReceiveBody and EndBody.
// - HttpHandlerInterruptor: the handler's CheckForStop as an Interruptor; what it throws passes on.
//
// None owns its handler. One thread at a time.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "formats/message_receivers.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"
#include "foundation/interruptor.h"
#include "http/http_handlers.h"

class ResponseHeadRebuilder : public HTTPResponseReceiver {
  public:
    ResponseHeadRebuilder() { m_head.reserve(16); }

    void ReceiveStatus(unsigned code, ConstData reason) override;
    DataReceiver& ReceiveHeaderName(ConstData name) override;
    void EndHeaderValue() override;

  protected:
    // Ends the head with its empty line and answers the whole text.
    const std::string& EndHeadText();

  private:
    std::string m_head;
    StringAppender m_appender;
};

class HttpHandlerDataReceiver : public DataReceiver, public DataWriter {
  public:
    explicit HttpHandlerDataReceiver(HttpHandlerBase& handler) : m_handler(handler) {}

    void Begin() override { m_handler.BeginBody(); }
    void Receive(const Byte* begin, const Byte* end) override {
        m_handler.ReceiveBody(ConstData(begin, end));
    }
    void End() override { m_handler.EndBody(); }

  private:
    HttpHandlerBase& m_handler;
};

class HttpHandlerResponseReceiver : public ResponseHeadRebuilder {
  public:
    explicit HttpHandlerResponseReceiver(HttpHandlerBase& handler) : m_handler(handler), m_body(handler) {}

    void ReceiveStatus(unsigned code, ConstData reason) override;
    DataReceiver& ReceiveHeaderName(ConstData name) override;
    void EndHeaderValue() override;
    DataReceiver& EndHeaders() override;

  private:
    static constexpr std::uint64_t kNoLength = std::numeric_limits<std::uint64_t>::max();

    HttpHandlerBase& m_handler;
    bool m_inContentLength = false;
    std::uint64_t m_contentLength = kNoLength;
    Uint64Maker m_lengthMaker;
    DataTee2 m_lengthTee;
    HttpHandlerDataReceiver m_body;
};

class HttpHandlerInterruptor : public Interruptor {
  public:
    explicit HttpHandlerInterruptor(HttpHandlerBase& handler) : m_handler(handler) {}
    void CheckForInterruption() override { m_handler.CheckForStop(); }

  private:
    HttpHandlerBase& m_handler;
};
