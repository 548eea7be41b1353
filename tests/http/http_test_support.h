// Test helpers for the HTTP server: a server running on its own thread on an ephemeral loopback
// port, raw clients, named settings written into the test's own registry, plug-ins used by the
// tests, and the process log captured.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/exceptions.h"
#include "foundation/event.h"
#include "foundation/log_manager.h"
#include "http/cgi_response.h"
#include "http/http_plugin.h"
#include "http/http_server.h"
#include "http/plugin_path_table.h"
#include "net/loopback_client.h"
#include "net/socket_errors.h"
#include "support/captured_log.h"
#include "support/eventually.h"
#include "support/temporary_registry.h"

// Named client settings ("_<component>_<section>_<name>" = value) as the machine hive of a registry.
inline void WriteNamedSettings(const TemporaryRegistry& registry,
                               const std::map<std::string, std::string>& settings) {
    std::string hive = "REGEDIT4\n\n";
    for (const auto& [name, value] : settings)
        hive += "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name +
                "]\n\"value\"=\"" + value + "\"\n\n";
    WriteWholeFile(registry.MachineHivePath(), hive);
}

// Settings of the component "KVRRelay" on a port the system picks.
inline HTTPServerSettings TestServerSettings() {
    HTTPServerSettings settings("KVRRelay");
    settings.port = 0;
    return settings;
}

inline void SendAll(int socket, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        ASSERT_GT(sent, 0) << "send failed";
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

// True when the socket has something to read (or was closed) within the time.
inline bool ReadableWithin(int socket, int milliseconds) {
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) == 1;
}

// Everything the server sends until it closes; what came before five seconds of silence otherwise.
inline std::string ReceiveUntilClosed(int socket) {
    std::string reply;
    char buffer[16 * 1024];
    while (ReadableWithin(socket, 5000)) {
        const ssize_t got = ::recv(socket, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(got));
    }
    return reply;
}

// One request on a fresh connection, and the whole reply.
inline std::string Exchange(std::uint16_t port, std::string_view request) {
    SocketHandle client = ConnectTo("127.0.0.1", port);
    SendAll(client.Get(), request);
    return ReceiveUntilClosed(client.Get());
}

inline std::string StatusLineOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

// An HTTPServer that reports its connection count from the loop thread, where reading it is safe.
class ObservedServer : public HTTPServer {
  public:
    using HTTPServer::HTTPServer;
    std::atomic<std::uint32_t> connections{0};
    std::atomic<int> passes{0};
    // Thrown from the pump hook, once per pass, while positive.
    std::atomic<int> busyErrorsToThrow{0};

  protected:
    void OnPump() override {
        connections = CountConnections();
        ++passes;
        if (busyErrorsToThrow > 0) {
            --busyErrorsToThrow;
            throw SocketBusyError();
        }
    }
};

// A server running on its own thread until the object goes (or Stop).
class RunningServer {
  public:
    RunningServer(HTTPServerSettings& settings, PlugInPathTable& plugIns)
        : m_server(settings, plugIns, m_stop, false) {
        m_thread = std::thread([this] {
            try {
                m_server.Run();
            } catch (...) {
                error = CurrentExceptionText();
            }
            m_runEnded = true;
        });
    }
    ~RunningServer() { Stop(); }

    void Stop() {
        m_stop.Set();
        if (m_thread.joinable()) m_thread.join();
    }
    // Waits for Run to return; false when it has not within five seconds.
    bool WaitUntilRunEnds() {
        if (!Eventually([this] { return m_runEnded.load(); })) return false;
        m_thread.join();
        return true;
    }

    std::uint16_t Port() const { return m_server.Port(); }
    ObservedServer& Server() { return m_server; }
    Event& StopEvent() { return m_stop; }
    std::thread& LoopThread() { return m_thread; }

    std::string error;

  private:
    Event m_stop;
    ObservedServer m_server;
    std::atomic<bool> m_runEnded{false};
    std::thread m_thread;
};

// Answers 200 with a plain-text body naming what it received: the method, the target, the values of
// "X-A" (joined by "|") and the body.
class InspectPlugIn : public HTTPPlugIn {
  public:
    explicit InspectPlugIn(const char* name = "inspect", bool threaded = true) : HTTPPlugIn(name, threaded) {}

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
        const HTTPRequest& request = interface->Request();
        std::string text =
            "method=" + std::string(request.Method().View()) + "\nurl=" + request.URL() + "\nx-a=";
        if (const auto* values = request.FindHeaderValues("x-a"))
            for (std::size_t i = 0; i < values->size(); ++i) text += (i ? "|" : "") + (*values)[i];
        text += "\nbody=" + ReadBody(*interface);
        HTTPClientWriter writer(*interface);
        SendPlainTextResponse(writer, text, 200, false, false);
    }

    static std::string ReadBody(HTTPPlugInInterface& interface) {
        std::string body;
        while (!interface.AtEnd()) {
            Byte buffer[3000];
            OutputRange range(buffer, sizeof buffer);
            interface.ReadSome(range);
            body.append(buffer, range.begin);
        }
        return body;
    }
};

// Holds every request until the gate opens (or the server stops), then answers 200 "done".
class GatedPlugIn : public HTTPPlugIn {
  public:
    GatedPlugIn(const char* name, bool threaded) : HTTPPlugIn(name, threaded) {}

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
        ++entered;
        while (!gate.Wait(HTTPPlugInInterface::kStepMilliseconds * 1000)) interface->CheckForAbort();
        HTTPClientWriter writer(*interface);
        SendPlainTextResponse(writer, "done", 200, false, false);
    }

    Event gate;
    std::atomic<int> entered{0};
};

// Writes `partial` (possibly nothing) and then throws.
class ThrowingPlugIn : public HTTPPlugIn {
  public:
    ThrowingPlugIn(const char* name, bool threaded, std::string partial)
        : HTTPPlugIn(name, threaded), m_partial(std::move(partial)) {}

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override {
        interface->Write(ConstData(std::string_view(m_partial)));
        throw FormatError();
    }

  private:
    std::string m_partial;
};
