// A plug-in's client and log kept in memory, for tests that call a plug-in's request handling
// directly: the reply bytes as written, and the log lines as logged.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"

class RecordingClientWriter : public ClientWriter {
  public:
    bool WriteClient(const Byte* data, std::size_t length) override {
        reply.append(reinterpret_cast<const char*>(data), length);
        return true;
    }
    bool ReadClient(Byte*, std::size_t, std::size_t& count) override {
        count = 0;
        return false;
    }
    std::string reply;
};

class RecordingLogFunctor : public LogFunctor {
  public:
    void Log(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};
