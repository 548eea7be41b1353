// A real Squid proxy for tests of the outgoing HTTP clients, started by the test on a loopback port
// it reserves (support/port_reservation.h) for the proxy's life.
//
// Each proxy runs in the foreground (squid -N) with a configuration, password file, logs and pid
// file of its own in a folder under /tmp, and asks every client to authenticate with one scheme:
// Basic through basic_ncsa_auth or Digest through digest_file_auth, with the user kUser and the
// password kPassword, or NTLM with the user kDomain\kUser and the password kPassword, checked by the
// tests' own helper (tests/helpers/gssapi_ntlm_auth.cpp) through gss-ntlmssp. It proxies requests to
// any host, loopback ones included, caches nothing, and allows CONNECT to any port. Started as root,
// Squid drops to the "proxy" user, so its folder and files are made readable (and its log folder
// writable) for that user.
//
// SharedSquidProxy starts one proxy per scheme the first time a test program asks for it and stops
// it when the program ends; a failed start is reported by an exception whose text holds Squid's log.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "support/port_reservation.h"

class SquidProxy {
  public:
    enum class Scheme { Basic, Digest, NTLM };
    static constexpr const char* kUser = "relay";
    static constexpr const char* kPassword = "s3cret pass";
    static constexpr const char* kRealm = "KVR test proxy";
    static constexpr const char* kDomain = "KVRTEST";

    explicit SquidProxy(Scheme scheme);
    // Stops Squid (SIGTERM, then SIGKILL after 10 s) and removes its folder.
    ~SquidProxy();
    SquidProxy(const SquidProxy&) = delete;
    SquidProxy& operator=(const SquidProxy&) = delete;

    std::uint16_t Port() const { return m_port.Port(); }
    // The access log in Squid's native format: one line per request with its result code, URL and
    // authenticated user ("-" for none). Squid writes it as requests finish.
    std::string AccessLog() const;

  private:
    void WriteFiles(Scheme scheme);
    void Start();
    void Stop();
    void RemoveFolder();
    std::string CacheLog() const;

    std::string m_folder;
    PortReservation m_port;
    pid_t m_pid = -1;
};

SquidProxy& SharedSquidProxy(SquidProxy::Scheme scheme);
