// PingRequestHttpHandler: the request that forwards a notification to another relay (a GET of its
// client-register path with "User-Agent: KVRRelay") and the reading of its reply, "Success", blanks
// (TAB, LF, CR, space) and the number of pings the relay started.
//
// Failures of the reply are kept, not thrown: the error flag and text say what was wrong. After an
// error, further body data is added to the error text, up to kMaxBodyLength bytes. The request is
// abandoned (StopRequest) once the stop event is set. One request, on one thread.
#pragma once

#include <cstdint>
#include <string>

#include "http/http_handlers.h"

class Event;

class PingRequestHttpHandler : public HttpHandlerBase {
  public:
    static constexpr std::size_t kMaxBodyLength = 1024;

    PingRequestHttpHandler(std::string url, Event& stop);

    bool HasError() const { return m_hasError; }
    const std::string& ErrorText() const { return m_errorText; }
    // The count the relay reported; 0 until a good reply has been read.
    std::uint32_t PingCount() const { return m_pingCount; }

    ByteString GetURL() override;
    void WriteRequestHeaders(MessageReceiver& request) override;
    void ReceiveResponseHeaders(const char*) override {}
    void ReceiveStatusCode(int) override {}
    void ReceiveContentLength(std::uint64_t) override {}
    void EndResponseHeaders() override {}
    void BeginBody() override {}
    void ReceiveBody(ConstData bytes) override;
    void EndBody() override;
    void Progress(const char*) override {}
    void CheckForStop() override;

  private:
    void SetError(const char* text);

    std::string m_url;
    Event& m_stop;
    std::string m_body;
    bool m_hasError = false;
    std::string m_errorText;
    std::uint32_t m_pingCount = 0;
};
