// Test helpers for the outgoing HTTP clients: a handler that records every call the socket client
// makes, and a large body to fetch.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/message_writer.h"
#include "http/http_handlers.h"

class RecordingHttpHandler : public HttpHandlerBase {
  public:
    explicit RecordingHttpHandler(std::string url) : m_url(url.data(), url.data() + url.size()) {}

    // The calls in order: "status 200", "length 5", "head", "end head", "begin", "end", "progress <text>".
    std::vector<std::string> calls;
    std::string head;
    std::string body;
    // Extra request fields: name, value.
    std::vector<std::pair<std::string, std::string>> requestFields;
    // Asks for the back channel when the response head holds "x-kvr-sendbackchannel:".
    bool honourBackChannel = true;

    ByteString GetURL() override { return m_url; }
    void WriteRequestHeaders(MessageReceiver& request) override {
        for (const auto& [name, value] : requestFields)
            WriteHeaderField(request, name.c_str(), ConstData(value));
    }
    void ReceiveResponseHeaders(const char* text) override {
        head = text;
        calls.push_back("head");
        if (honourBackChannel && head.find("x-kvr-sendbackchannel:") != std::string::npos)
            SetBackChannel(true);
    }
    void ReceiveStatusCode(int code) override { calls.push_back("status " + std::to_string(code)); }
    void ReceiveContentLength(std::uint64_t length) override {
        calls.push_back("length " + std::to_string(length));
    }
    void EndResponseHeaders() override { calls.push_back("end head"); }
    void BeginBody() override { calls.push_back("begin"); }
    void ReceiveBody(ConstData bytes) override { body.append(bytes.View()); }
    void EndBody() override { calls.push_back("end"); }
    void Progress(const char* text) override { calls.push_back(std::string("progress ") + text); }
    void CheckForStop() override {}

  private:
    ByteString m_url;
};

// 10 MiB of pseudo-random bytes, the same on every call.
inline std::string TenMebibytes() {
    std::string body(10 * 1024 * 1024, '\0');
    std::uint32_t state = 12345;
    for (char& c : body) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
    return body;
}
