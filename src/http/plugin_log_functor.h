// LogFunctor: where code that reports its progress writes its lines, so the same code can log through
// a request, a test recorder or nothing. PlugInLogFunctor writes each line through a request's debug
// log (HTTPPlugInInterface::LogDebug) under a prefix such as "ClientRegister: ".
//
// A functor is used by the thread that owns the request; the interface must outlive it.
#pragma once

#include <string>
#include <string_view>

#include "http/http_plugin.h"

class LogFunctor {
  public:
    virtual ~LogFunctor() = default;
    virtual void Log(std::string_view text) = 0;
};

class PlugInLogFunctor : public LogFunctor {
  public:
    PlugInLogFunctor(HTTPPlugInInterface& interface, std::string prefix)
        : m_interface(interface), m_prefix(std::move(prefix)) {}

    void Log(std::string_view text) override { m_interface.LogDebug(m_prefix, text); }

  private:
    HTTPPlugInInterface& m_interface;
    std::string m_prefix;
};
