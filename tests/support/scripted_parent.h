// A parent relay for the gather tests, scripted path by path over a loopback ScriptedHTTPServer: each
// GET is answered by the reply served for its path (the request target up to its "?"), 404 for a
// path without one, nothing at all for a path set to hang (until the parent goes), and a closed
// connection without any reply for a path set to drop.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/scripted_http_server.h"

class ScriptedParent {
  public:
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
    std::size_t AcceptedConnections() const { return m_server.AcceptedConnections(); }

  private:
    static constexpr const char* kHang = "hang";

    static std::string PathOf(const std::string& request) {
        const std::size_t start = request.find(' ') + 1;
        const std::size_t end = request.find_first_of(" ?", start);
        return request.substr(start, end - start);
    }

    void Set(const std::string& path, ScriptedHTTPServer::Reply reply) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_replies[path] = std::move(reply);
    }

    ScriptedHTTPServer::Reply Answer(const std::string& request) {
        ScriptedHTTPServer::Reply reply{MakeHTTPReply("not found", "", "HTTP/1.0 404 Not Found")};
        {
            std::lock_guard<std::mutex> lock(m_lock);
            const auto found = m_replies.find(PathOf(request));
            if (found != m_replies.end()) reply = found->second;
        }
        if (reply.bytes != kHang) return reply;
        while (!m_released) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return {"", false, true};
    }

    std::mutex m_lock;
    std::map<std::string, ScriptedHTTPServer::Reply> m_replies;
    std::atomic<bool> m_released{false};
    ScriptedHTTPServer m_server;
};
