// TLS for the outgoing HTTP clients: a client context and one session over a connected socket.
//
// Peer verification is on only when a trusted-certificate file is configured (SetTrustedCertificateFile):
// then the server's chain must lead to a certificate of that file, an expired certificate
// excepted, and its name must match the host. Without the file any certificate is accepted. A
// session is used by one thread at a time; the context may serve several sessions.
#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <string>

#include "base/const_data.h"

// The PEM file of the certificates that outgoing TLS connections trust; empty turns verification
// off (the default). Process-wide and thread-safe.
void SetTrustedCertificateFile(std::string path);
std::string TrustedCertificateFile();

class TLSClientContext {
  public:
    // Throws Http_err_SSL1 when OpenSSL can't make the context or load the trusted certificates.
    TLSClientContext();
    SSL_CTX* Get() const { return m_context.get(); }
    bool VerifiesPeer() const { return m_verifyPeer; }

  private:
    struct Deleter {
        void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
    };
    std::unique_ptr<SSL_CTX, Deleter> m_context;
    bool m_verifyPeer = false;
};

class TLSClientSession {
  public:
    // A session over the connected socket, with `host` as the server name; throws Http_err_SSL2
    // when the session can't be made and Http_err_SSL3 when the handshake fails.
    TLSClientSession(const TLSClientContext& context, int socket, const std::string& host);

    // One TLS read or write; the count, 0 at the end of the stream (read), or -1.
    long Read(Byte* buffer, std::size_t size);
    long Write(ConstData bytes);

  private:
    struct Deleter {
        void operator()(SSL* session) const { SSL_free(session); }
    };
    std::unique_ptr<SSL, Deleter> m_session;
};
