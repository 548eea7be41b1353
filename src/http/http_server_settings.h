// HTTPServerSettings: the HTTP server's configuration, read once when the object is built.
//
// Every setting is a named client setting (settings-object mode 2) in the section "HTTPServer" of
// the component given to the constructor: for the relay, "_KVRRelay_HTTPServer_PortNumber" and so
// on. A missing or unusable value gives the default. Time-outs are set in seconds and held in
// microseconds. The access-log settings and "Verbose" are live: each call reads them again.
//
// The fields are plain values so that a caller (or a test) may adjust them after construction and
// before the server is built. Read-only once the server runs, so any thread may read them then.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_location.h"

struct HTTPServerSettings {
    explicit HTTPServerSettings(const char* component);

    std::uint32_t port;  // "PortNumber", 52311; the low 16 bits are the TCP port (0: one the system picks)
    std::uint32_t maxConnections;    // "MaxConnections", 2048: open connections plus running plug-in requests
    std::string hostName;            // "HostName", empty
    FileLocation logFilePath;        // "LogFilePath", "logfile.txt"
    std::uint32_t logFileSizeLimit;  // "LogFileSizeLimit", 52428800
    std::uint32_t maxRequestLineLength;    // "MaxRequestLineLength", 32768 bytes per line of a request head
    std::int64_t readTimeOut;              // "ReadTimeOut", 60 s
    // "MinRequestBodyBytesPerSecond", 1024: a client sending a request body more slowly, averaged over
    // windows of the read time-out, is closed (body_pace.h); 0 turns the rule off.
    std::uint32_t minimumBodyBytesPerSecond;
    std::int64_t writeTimeOut;             // "WriteTimeOut", 300 s
    FileLocation serverRootPath;           // "ServerRootPath", "wwwroot"
    std::uint32_t throttleKBPS;            // "ThrottleKBPS", 0 (no limit)
    bool useTLS;                           // "UseSSLFlag", 0
    FileLocation certificateFilePath;      // "SSLCertificateFilePath", "certfile.pem"
    bool dynamicThrottleEnabled;           // "DynamicThrottleEnabled", 0
    std::uint32_t dynamicThrottleMaxKBPS;  // "DynamicThrottleMaxKBPS", 0
    std::uint32_t dynamicThrottleMinKBPS;  // "DynamicThrottleMinKBPS", 0
    double dynamicThrottleFraction;        // "DynamicThrottlePercentage" / 100, 0

    // "HttpLogDirectoryPath", empty (no access log).
    FileLocation AccessLogDirectory() const;
    // "HttpLogExpirationDays", 3.
    std::uint32_t AccessLogExpirationDays() const;
    // "Verbose" of component "KVRRelay", section "Log", 0.
    std::uint32_t Verbose() const;

  private:
    std::string m_component;
};

// "ServerRootPath" of the component, read now: the folder the server serves files from, "wwwroot" in
// the working folder when unset.
FileLocation ReadServerRootPath(const char* component);
