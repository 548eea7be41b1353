// A small scripted HTTP origin for tests of the outgoing HTTP clients: tests/support/python_origin.py,
// a Python http.server subclass, run as a separate process on a loopback port of its own.
//
// What it serves (the script's header lists it too):
//   GET  /files/<name>        the file Folder()/<name>; 404 when there is none
//   POST /echo                the posted body, back as the response body
//   GET  /headers             the request line and the header lines as parsed ("Name: value"), each
//                             ending in CR LF, as the body
//   GET  /basic               401 "401 body" with two WWW-Authenticate lines (an unknown scheme, then
//                             Basic realm="origin") until the request carries Basic kUser:kPassword;
//                             then 200 "authorized"
//   GET  /chunked             200 with the chunked body "first piece, second piece"
//   GET  /proxy-chunked-407   answers as a proxy: 407 with a chunked body, Proxy-Authenticate Basic and
//                             "Proxy-Connection: keep-alive" (the connection stays open) until the
//                             request carries Proxy-Authorization Basic kProxyUser:kProxyPassword;
//                             then 200 "through the proxy"
//   GET  /short               "Content-Length: 100", then 10 bytes and the end of the connection
//   GET  /hang                no answer, until the client goes or the origin stops
//   GET  /root/<scenario>/... a root server's answer to a forwarded registration: success (computer
//                             ID 4711, slot 3, version 9.2.0.0), toomanychildren (25),
//                             invalidsequence, badcomputerid (an ID alone) or noanswer (as /hang);
//                             each request line and User-Agent are appended to
//                             Folder()/root-requests.log
//   anything else             404 "not found"
// Requests in the absolute form (as a proxy receives them) are served like origin-form ones. Every
// response carries "X-Connection-Request: <n>": it answers the n-th request on its connection.
//
// With Transport::TLS the origin speaks https with a certificate for "localhost" and 127.0.0.1 made
// by the openssl command for this origin; trust it with SetTrustedCertificateFile(CertificateFile()).
//
// The origin stops when the object goes (and when the test program ends in any way: it watches its
// standard input). A failed start throws std::runtime_error.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temporary_folder.h"

class PythonOrigin {
  public:
    enum class Transport { Plain, TLS };
    static constexpr const char* kUser = "origin-user";
    static constexpr const char* kPassword = "origin pass";
    static constexpr const char* kProxyUser = "proxy-user";
    static constexpr const char* kProxyPassword = "proxy pass";

    explicit PythonOrigin(Transport transport = Transport::Plain);
    ~PythonOrigin();
    PythonOrigin(const PythonOrigin&) = delete;
    PythonOrigin& operator=(const PythonOrigin&) = delete;

    std::uint16_t Port() const { return m_port; }
    // "http://<host>:<port><path>", or "https://..." for the TLS origin. Through a proxy use
    // "localhost": 127.0.0.1 is never reached through one.
    std::string URL(const std::string& path, const std::string& host = "127.0.0.1") const;
    // The folder whose files GET /files/<name> serves.
    const std::string& Folder() const { return m_folder.Path(); }
    // The PEM certificate of the TLS origin (empty for a plain one).
    const std::string& CertificateFile() const { return m_certificate; }

  private:
    void Start(const std::vector<std::string>& arguments);
    void Stop();

    TemporaryFolder m_folder;
    std::string m_certificate;
    bool m_tls = false;
    std::uint16_t m_port = 0;
    pid_t m_pid = -1;
    int m_input = -1;  // the script's standard input: closing it stops the origin
};
