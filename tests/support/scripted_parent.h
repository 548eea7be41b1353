// A parent relay for the gather tests, scripted path by path over a loopback ScriptedHTTPServer: each
// GET is answered by the reply served for its path (the request target up to its "?"), or by the
// reply a responder computes from the whole request, 404 for a path without either, nothing at all
// for a path set to hang (until the parent goes), and a closed connection without any reply for a
// path set to drop. A held path's requests wait until the test releases the path (or the parent
// goes), then get its reply.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/scripted_http_server.h"

class ScriptedParent {
  public:
    using Responder = std::function<ScriptedHTTPServer::Reply(const std::string& request)>;

    ScriptedParent() : m_server([this](const std::string& request) { return Answer(request); }) {}
    ~ScriptedParent() { m_released = true; }
    ScriptedParent(const ScriptedParent&) = delete;
    ScriptedParent& operator=(const ScriptedParent&) = delete;

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_server.Port()); }
    std::string URL(const std::string& path) const { return Base() + path; }

    // A 200 with the body, and the header lines (each ending in "\r\n") before Content-Length.
    void Serve(const std::string& path, const std::string& body, const std::string& headers = "") {
        Set(path, {MakeHTTPReply(body, headers)});
    }
    void ServeStatus(const std::string& path, const std::string& statusLine, const std::string& body = "") {
        Set(path, {MakeHTTPReply(body, "", statusLine)});
    }
    void Hang(const std::string& path) { Set(path, {kHang}); }
    void Drop(const std::string& path) { Set(path, {"", false, true}); }
    // Every request for the path is answered by the responder (called on the connection's thread);
    // an empty one takes the responder away.
    void Respond(const std::string& path, Responder responder) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (responder)
            m_responders[path] = std::move(responder);
        else
            m_responders.erase(path);
    }
    void Hold(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_held.insert(path);
    }
    void Release(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_held.erase(path);
    }

    // The request lines ("GET /x?y HTTP/1.1") and the whole requests, in the order they were answered.
    std::vector<std::string> RequestLines() const {
        std::vector<std::string> lines;
        for (const std::string& request : Requests()) lines.push_back(request.substr(0, request.find("\r\n")));
        return lines;
    }
    std::vector<std::string> Requests() const {
        std::vector<std::string> requests;
        for (const ScriptedHTTPServer::Exchange& exchange : m_server.Exchanges()) requests.push_back(exchange.request);
        return requests;
    }
    // How many requests asked for the path.
    std::size_t RequestsFor(const std::string& path) const {
        std::size_t count = 0;
        for (const std::string& request : Requests()) count += PathOf(request) == path;
        return count;
    }
    // How many requests for the path arrived, answered or not (held or hanging ones too).
    std::size_t ArrivedFor(const std::string& path) const {
        std::lock_guard<std::mutex> lock(m_lock);
        const auto found = m_arrived.find(path);
        return found == m_arrived.end() ? 0 : found->second;
    }
    // Waits (at most `limit`) until `count` requests for the path have arrived.
    bool AwaitArrivals(const std::string& path, std::size_t count,
                       std::chrono::milliseconds limit = std::chrono::seconds(30)) const {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (ArrivedFor(path) < count) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }
    std::size_t AcceptedConnections() const { return m_server.AcceptedConnections(); }

    static std::string PathOf(const std::string& request) {
        const std::size_t start = request.find(' ') + 1;
        const std::size_t end = request.find_first_of(" ?", start);
        return request.substr(start, end - start);
    }

  private:
    static constexpr const char* kHang = "hang";

    void Set(const std::string& path, ScriptedHTTPServer::Reply reply) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_replies[path] = std::move(reply);
    }

    bool IsHeld(const std::string& path) const {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_held.count(path) != 0;
    }

    ScriptedHTTPServer::Reply Answer(const std::string& request) {
        const std::string path = PathOf(request);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_arrived[path];
        }
        while (IsHeld(path) && !m_released) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ScriptedHTTPServer::Reply reply{MakeHTTPReply("not found", "", "HTTP/1.0 404 Not Found")};
        Responder responder;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            const auto found = m_replies.find(path);
            if (found != m_replies.end()) reply = found->second;
            const auto computed = m_responders.find(path);
            if (computed != m_responders.end()) responder = computed->second;
        }
        if (responder) return responder(request);
        if (reply.bytes != kHang) return reply;
        while (!m_released) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return {"", false, true};
    }

    mutable std::mutex m_lock;
    std::map<std::string, ScriptedHTTPServer::Reply> m_replies;
    std::map<std::string, Responder> m_responders;
    std::set<std::string> m_held;
    std::map<std::string, std::size_t> m_arrived;
    std::atomic<bool> m_released{false};
    ScriptedHTTPServer m_server;
};
