#include "support/upload_parent.h"

#include <cstdlib>

namespace {

// The value of a key in the query of a request line "POST <target> HTTP/1.0"; empty when absent.
std::string QueryValue(const std::string& target, const std::string& key) {
    const std::size_t query = target.find('?');
    if (query == std::string::npos) return "";
    std::size_t at = query + 1;
    while (at < target.size()) {
        const std::size_t end = std::min(target.find('&', at), target.size());
        const std::string pair = target.substr(at, end - at);
        if (pair.rfind(key + "=", 0) == 0) return pair.substr(key.size() + 1);
        at = end + 1;
    }
    return "";
}

}  // namespace

std::string UploadSuccessReply(std::uint64_t held, std::uint64_t throttle, std::uint64_t chunkSize) {
    const std::string numbers = std::to_string(held) + "," + std::to_string(throttle) + "," + std::to_string(chunkSize);
    return MakeHTTPReply("Success: " + numbers + "\r\n", "x-kvr-upload-result: Success=" + numbers + "\r\n");
}

UploadParent::UploadParent(ScriptedHTTPServer::Responder otherRequests)
    : m_otherRequests(std::move(otherRequests)),
      m_server([this](const std::string& request) { return Respond(request); }) {}

std::string UploadParent::Host() const {
    return "http://127.0.0.1:" + std::to_string(m_server.Port());
}

void UploadParent::Answer(Answerer answerer) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_answerer = std::move(answerer);
}

void UploadParent::SetHints(std::uint64_t throttle, std::uint64_t chunkSize) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_throttle = throttle;
    m_chunkSize = chunkSize;
}

std::vector<UploadParent::Range> UploadParent::Ranges() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ranges;
}

std::string UploadParent::Held(const std::string& sha1) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = m_held.find(sha1);
    return found == m_held.end() ? "" : found->second;
}

ScriptedHTTPServer::Reply UploadParent::Respond(const std::string& request) {
    const std::size_t targetStart = request.find(' ') + 1;
    const std::string target = request.substr(targetStart, request.find(' ', targetStart) - targetStart);
    const std::string rangeText = QueryValue(target, "range");
    if (request.rfind("POST ", 0) != 0 || rangeText.empty()) {
        if (m_otherRequests) return m_otherRequests(request);
        return {MakeHTTPReply("", "", "HTTP/1.0 404 Not Found")};
    }
    Range range;
    range.target = target;
    range.sha1 = QueryValue(target, "sha1");
    char* end = nullptr;
    range.first = std::strtoull(rangeText.c_str(), &end, 10);
    range.last = std::strtoull(end + 1, &end, 10);
    range.size = std::strtoull(end + 1, &end, 10);
    range.body = request.substr(request.find("\r\n\r\n") + 4);

    std::lock_guard<std::mutex> guard(m_lock);
    m_ranges.push_back(range);
    if (m_answerer)
        if (std::optional<std::string> reply = m_answerer(range)) return {*reply};
    std::string& held = m_held[range.sha1];
    if (range.first == held.size()) held += range.body;
    return {UploadSuccessReply(held.size(), m_throttle, m_chunkSize)};
}
