// UploadParent: a scripted parent relay for the upload tests. It takes the range POSTs of the
// post-file protocol ("...?sha1=<name>&range=<first>,<last>,<size>" with the range's bytes as the
// body) as a post-file plug-in does: a range that starts where its copy of the upload ends is
// appended, and the answer is "x-kvr-upload-result: Success=<held>,<throttle>,<chunk size>" with the
// body "Success: ...". A test may answer ranges itself instead (Answer), set the two hints, and
// serve other requests (a registration, for one) through its own responder.
//
// Every member may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/scripted_http_server.h"

class UploadParent {
  public:
    struct Range {
        std::string target;  // the request target as sent
        std::string sha1;
        std::uint64_t first = 0;
        std::uint64_t last = 0;
        std::uint64_t size = 0;
        std::string body;
    };
    // The reply to a range, or none for the usual one; called under the parent's lock, so it must not
    // call the parent.
    using Answerer = std::function<std::optional<std::string>(const Range& range)>;

    // `otherRequests` answers the requests that are no range POSTs (404 without it).
    explicit UploadParent(ScriptedHTTPServer::Responder otherRequests = {});

    // "http://127.0.0.1:<port>".
    std::string Host() const;
    std::uint16_t Port() const { return m_server.Port(); }
    void Answer(Answerer answerer);
    void SetHints(std::uint64_t throttle, std::uint64_t chunkSize);
    // The ranges received, in order.
    std::vector<Range> Ranges() const;
    // The bytes held of an upload.
    std::string Held(const std::string& sha1) const;

  private:
    ScriptedHTTPServer::Reply Respond(const std::string& request);

    ScriptedHTTPServer::Responder m_otherRequests;
    mutable std::mutex m_lock;
    Answerer m_answerer;
    std::uint64_t m_throttle = 0;
    std::uint64_t m_chunkSize = 0;
    std::vector<Range> m_ranges;
    std::map<std::string, std::string> m_held;
    ScriptedHTTPServer m_server;  // last: its threads end before the rest goes
};

// "x-kvr-upload-result: Success=<held>,<throttle>,<chunk>" and the body "Success: ...".
std::string UploadSuccessReply(std::uint64_t held, std::uint64_t throttle = 0, std::uint64_t chunkSize = 0);
