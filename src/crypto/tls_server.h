// The server side of TLS: one context per listener, loaded from a PEM file that holds the server's
// certificate chain and its private key, and one connection per accepted socket.
//
// The context offers TLS 1.2 and 1.3, the "HIGH" cipher list for TLS 1.2 chosen in the server's order,
// no client-initiated renegotiation. A connection made on it is only bound to its socket and put in
// the server role: the handshake advances inside the reads, on the non-blocking socket, so a client
// that stays silent holds up nobody but itself (the server's read time-out ends it).
//
// The free functions are the library calls with their results made into exceptions; the classes put
// them behind the socket layer's seam (net/tls_hooks.h). Their failures are the OpenSSLError classes
// below, SocketClosedError when the peer ended the connection, and the socket errors of net.
//
// The context may be shared by many threads; a connection is used by one thread at a time, and keeps
// the context alive as long as it lives.
#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>
#include <vector>

#include "base/const_data.h"
#include "base/file_location.h"
#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "net/tls_hooks.h"

OPENSSL_FAILURE(SSL_CTX_new_Failed);
OPENSSL_FAILURE(SSL_CTX_use_certificate_chain_file_Failed);
OPENSSL_FAILURE(SSL_CTX_use_PrivateKey_file_Failed);
OPENSSL_FAILURE(SSL_CTX_check_private_key_Failed);
OPENSSL_FAILURE(SSL_CTX_set_cipher_list_Failed);
OPENSSL_FAILURE(SSL_new_Failed);
OPENSSL_FAILURE(SSL_set_fd_Failed);
OPENSSL_FAILURE(SSL_accept_Failed);
OPENSSL_FAILURE(SSL_read_Failed);
OPENSSL_FAILURE(SSL_write_Failed);

void FreeSSLContext(SSL_CTX* context);
void FreeSSLConnection(SSL* connection);
using SSLContextHolder = AutoOpenSSLObject<SSL_CTX, FreeSSLContext>;
using SSLConnectionHolder = AutoOpenSSLObject<SSL, FreeSSLConnection>;

// A bare context of the general server method.
SSLContextHolder NewSSLContext();
// The server context over the PEM file: certificate chain (server certificate first) and private key.
// Throws the SSL_CTX_ failure of the step that refused; the text carries the library's reasons.
SSLContextHolder NewServerSSLContext(const FileLocation& pemFile);
SSLConnectionHolder NewSSLConnection(SSL_CTX* context);
// A connection bound to the socket in the server role; no byte is exchanged yet.
SSLConnectionHolder NewServerSSLConnection(SSL_CTX* context, int socket);

// The rule for a TLS call's result: a library or protocol error throws the call's failure; a system
// error throws the socket error, or SocketClosedError at the end of data (as does an end of data in
// the middle of a record or handshake); every other kind (none, wants read or write, clean close) is
// answered.
int CheckSSLAcceptResult(SSL* connection, int result);
int CheckSSLReadResult(SSL* connection, int result);
int CheckSSLWriteResult(SSL* connection, int result);

// One TLS read into the range (advancing its begin); the count, 0 when nothing came (see the kinds
// above: the peer's clean close also gives 0).
std::size_t SSLRead(SSL* connection, OutputRange& range);
// One TLS write from the range (advancing its begin); the count, 0 when the socket can take nothing.
std::size_t SSLWrite(SSL* connection, ConstData& range);

// One TLS session over an accepted socket, the seam's TLSConnection. A read that finds the peer gone
// (clean close, end of data, close during the handshake) throws SocketClosedError; a read with
// nothing decrypted yet answers 0. A write that would block answers 0; the writer calls again with the
// same first bytes (from wherever they now lie, and in any amount).
class OpenSSLServerConnection : public TLSConnection {
  public:
    explicit OpenSSLServerConnection(SSLConnectionHolder connection) : m_connection(std::move(connection)) {}

    std::size_t PendingBytes() override;
    std::size_t Read(OutputRange& range) override;
    std::size_t Write(ConstData& range) override;
    void Shutdown() override;

  private:
    SSLConnectionHolder m_connection;
    // The bytes of a write that would have blocked, retried as they were; then how many of the
    // writer's next bytes went out that way.
    std::vector<Byte> m_blockedWrite;
    std::size_t m_sentAhead = 0;
};

// The seam's TLSServerContext over NewServerSSLContext.
class OpenSSLServerContext : public TLSServerContext {
  public:
    explicit OpenSSLServerContext(const FileLocation& pemFile) : m_context(NewServerSSLContext(pemFile)) {}
    std::unique_ptr<TLSConnection> CreateConnection(int socket) override;

  private:
    SSLContextHolder m_context;
};

// The server's TLS context from its certificate file (the settings' "SSLCertificateFilePath").
std::shared_ptr<TLSServerContext> BuildTLSServerContext(const FileLocation& pemFile);
