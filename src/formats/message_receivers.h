// The three receiver shapes through which every header-and-body message moves, and the adapters
// between them.
//
// A message is never held as a tree: a parser (MessageMaker, HeaderMaker, the server's request
// reader, the HTTP clients) turns text into calls on one of these receivers, and a writer turns the
// calls back into text.
//
// - MessageReceiver: a MIME-style message. Offsets are 64-bit byte positions in the text the
//   LineMaker cut. Calling order: Begin; per field Header, then Begin/Receive.../End on the returned
//   value receiver, then EndHeader; Body, then the returned line receiver from its Begin on; End.
// - HTTPResponseReceiver: a response (status, fields, body). Every slot has a default that ignores.
// - HTTPRequestReceiver: a request (request line, fields, the body of the announced length).
//
// The receivers a slot returns belong to the receiver that returned them (or are the process-wide
// ignoring stages) and stay valid until the next call on it. The adapters hold a non-owning pointer
// to their target. One thread at a time, except the two ignoring instances, which hold no state.
#pragma once

#include <cstdint>
#include <span>

#include "base/const_data.h"
#include "base/data_pipeline.h"

class MessageReceiver {
  public:
    virtual ~MessageReceiver() = default;
    virtual void Begin(std::uint64_t offset) = 0;
    // A field starts on the line at `offset`; a name that comes from HeaderMaker is lower-cased.
    // Returns the receiver of the field's value.
    virtual DataReceiver& Header(std::uint64_t offset, ConstData name) = 0;
    // The field is complete; `offset` is where its last line's text ends.
    virtual void EndHeader(std::uint64_t offset) = 0;
    // The header block is complete; the body's first line begins at `offset`.
    virtual LineReceiver& Body(std::uint64_t offset) = 0;
    virtual void End(std::uint64_t offset) = 0;
};

// Sends one whole field to a message receiver: Header(start, name), the value through Begin, one
// Receive per range and End, then EndHeader(end).
void SendHeaderField(MessageReceiver& receiver, std::uint64_t start, std::uint64_t end, const char* name,
                     ConstData value);
void SendHeaderFieldRanges(MessageReceiver& receiver, std::uint64_t start, std::uint64_t end,
                           const char* name, std::span<const ConstData> valueRanges);

// A line receiver that drops everything; one process-wide instance.
class IgnoreLineReceiver : public LineReceiver {
  public:
    static IgnoreLineReceiver& Instance();

    void Begin(std::uint64_t) override {}
    void ReceiveText(const Byte*, const Byte*) override {}
    void EndLine(std::uint64_t, std::uint64_t) override {}
    void End(std::uint64_t) override {}
};

// A message receiver that drops the whole message.
class IgnoreMessageReceiver : public MessageReceiver {
  public:
    void Begin(std::uint64_t) override {}
    DataReceiver& Header(std::uint64_t, ConstData) override;
    void EndHeader(std::uint64_t) override {}
    LineReceiver& Body(std::uint64_t) override;
    void End(std::uint64_t) override {}
};

class HTTPResponseReceiver {
  public:
    virtual ~HTTPResponseReceiver() = default;
    virtual void ReceiveStatus(unsigned code, ConstData reason) {}
    virtual DataReceiver& ReceiveHeaderName(ConstData name);
    virtual void EndHeaderValue() {}
    // Returns the receiver of the body.
    virtual DataReceiver& EndHeaders();
    virtual void EndResponse() {}
};

class HTTPRequestReceiver {
  public:
    virtual ~HTTPRequestReceiver() = default;
    virtual void ReceiveRequestLine(ConstData method, ConstData url) {}
    virtual DataReceiver& ReceiveHeaderName(ConstData name);
    virtual void EndHeaderValue() {}
    // `contentLength` bytes of body follow; returns their receiver.
    virtual DataReceiver& EndHeaders(std::uint64_t contentLength);
    virtual void EndRequest() {}
};

// The fields of a message as the fields of a response or a request: Header becomes the target's
// ReceiveHeaderName (the offset is dropped), EndHeader its EndHeaderValue; the body is dropped.
template <class Target>
class HeadersToReceiver : public MessageReceiver {
  public:
    explicit HeadersToReceiver(Target& target) : m_target(&target) {}

    void Begin(std::uint64_t) override {}
    DataReceiver& Header(std::uint64_t, ConstData name) override { return m_target->ReceiveHeaderName(name); }
    void EndHeader(std::uint64_t) override { m_target->EndHeaderValue(); }
    LineReceiver& Body(std::uint64_t) override { return IgnoreLineReceiver::Instance(); }
    void End(std::uint64_t) override {}

  private:
    Target* m_target;
};

using HeadersToResponse = HeadersToReceiver<HTTPResponseReceiver>;
using HeadersToRequest = HeadersToReceiver<HTTPRequestReceiver>;
