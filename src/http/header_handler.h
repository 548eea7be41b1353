// HeaderHandler: what a caller of the main HTTP client (GetHTTP, PostHTTP, http_client.h) adds to a
// request and learns from its response head.
//
// Before the request the caller may set the throttle fields below; GetRequestHeaders then asks the
// server for that pacing with the "x-kvr-download-*" and "x-kvr-dynamic-*" lines, and always names
// the client in a "User-Agent" line: the browser's user agent from the registry (current user,
// "Software\Microsoft\Windows\CurrentVersion\Internet Settings", value "User Agent") with the client
// name and version put before its closing ")", or "(<client name> 8.0.627.0)" without one. After the
// head has arrived, the content length, status code and the server's back-channel offer can be read.
//
// ReplaceRequestHeaderHandler sends a fixed header text instead, and captures the value of one
// response field the caller names (and of "date:").
//
// A handler serves one request at a time; the client calls it from its worker thread while the
// caller waits, so the caller reads the results only after the call has returned.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class HeaderHandler {
  public:
    // Told the content length of a response that gives a non-zero one.
    using ContentLengthCallback = std::function<void(std::uint64_t length)>;

    // `clientName` is the product and library words placed in the user agent ("Veltra Lumeroft").
    HeaderHandler(ContentLengthCallback onContentLength, std::string clientName);
    virtual ~HeaderHandler() = default;

    // The whole response head, lower-cased, every line ending in one line-end byte.
    virtual void ReceiveResponseHeaders(const char* head);
    // Appends the extra request lines, each ending in "\r\n". Throws UnsafeHeaderText when the
    // throttle group holds CR, LF or NUL.
    virtual void GetRequestHeaders(std::string& headers);
    // True when the response gave no usable Content-Length, or 0.
    virtual bool IsContentLengthUnknown() { return m_contentLengthUnknown; }
    virtual std::uint64_t GetContentLength() { return m_contentLength; }
    virtual int GetStatusCode() { return m_statusCode; }
    // True when the response head offered the back channel ("x-kvr-sendbackchannel:"): the client
    // then reports the arrival of the body's bytes back to the server.
    virtual bool HasSendBackChannel() { return m_sendBackChannel; }

    // Pacing asked of the server, set by the caller before the request. 0 (or empty) sends nothing.
    int m_downloadBytesPerSecond = 0;
    std::string m_throttleGroup;  // sent only with m_downloadBytesPerSecond
    bool m_dynamicThrottlingEnabled = false;
    int m_dynamicMaxBytesPerSecond = 0;
    int m_dynamicMinBytesPerSecond = 0;
    int m_dynamicPercentage = 0;

  private:
    bool m_contentLengthUnknown = false;
    std::uint64_t m_contentLength = 0;
    std::string m_clientName;
    ContentLengthCallback m_onContentLength;
    int m_statusCode = 0;
    bool m_sendBackChannel = false;
};

class ReplaceRequestHeaderHandler : public HeaderHandler {
  public:
    static constexpr const char* kClientName = "Veltra Lumeroft";

    // `requestHeaders`: the request lines to send instead of the default "User-Agent: Veltra
    // Lumeroft" (empty: the default), each ending in "\r\n". `wantedHeader`: the response field to
    // capture, lower case with its colon ("x-veltra-result:").
    ReplaceRequestHeaderHandler(std::string requestHeaders, std::string wantedHeader);

    void ReceiveResponseHeaders(const char* head) override;
    void GetRequestHeaders(std::string& headers) override;

    // The rest of the wanted field's line, leading blanks and tabs skipped; empty when absent.
    const std::string& GetWantedHeaderValue() const { return m_wantedValue; }
    // The same for "date:".
    const std::string& GetDateValue() const { return m_dateValue; }

  private:
    std::string m_wantedValue;
    std::string m_wantedHeader;
    std::string m_requestHeaders;
    std::string m_dateValue;
};
