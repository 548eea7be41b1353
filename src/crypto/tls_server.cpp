#include "crypto/tls_server.h"

#include <openssl/err.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "crypto/openssl_startup.h"
#include "net/socket_errors.h"

namespace {

// Bug workarounds and the server's cipher order. Not the old literal bit mask: under OpenSSL 3 those
// bits would switch off the extended master secret, hide a truncation attack as a clean end and let
// clients renegotiate.
constexpr std::uint64_t kServerOptions = SSL_OP_ALL | SSL_OP_CIPHER_SERVER_PREFERENCE;

// One record's worth of plaintext: a write that blocks keeps at most this much for its retry.
constexpr std::size_t kMostBytesPerWrite = 16 * 1024;

template <class Failure>
int CheckSSLResult(SSL* connection, int result) {
    const int kind = SSL_get_error(connection, result);
    if (kind == SSL_ERROR_SSL) {
        // A peer that drops the TCP connection without the close notification: an end of data.
        if (ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            ClearOpenSSLErrors();
            throw SocketClosedError();
        }
        throw Failure();
    }
    if (kind == SSL_ERROR_SYSCALL) {
        if (ERR_peek_error() != 0) throw Failure();
        if (result != 0) ThrowLastSocketError();
        throw SocketClosedError();
    }
    return kind;
}

}  // namespace

void FreeSSLContext(SSL_CTX* context) {
    SSL_CTX_free(context);
}

void FreeSSLConnection(SSL* connection) {
    SSL_free(connection);
}

SSLContextHolder NewSSLContext() {
    return MakeChecked<SSL_CTX_new_Failed, SSLContextHolder>([] { return SSL_CTX_new(TLS_server_method()); });
}

SSLContextHolder NewServerSSLContext(const FileLocation& pemFile) {
    EnsureOpenSSLInitialized();
    SSLContextHolder context = NewSSLContext();
    SSL_CTX* raw = context.Get();
    ClearOpenSSLErrors();
    if (SSL_CTX_use_certificate_chain_file(raw, pemFile.CString()) != 1)
        throw SSL_CTX_use_certificate_chain_file_Failed();
    if (SSL_CTX_use_PrivateKey_file(raw, pemFile.CString(), SSL_FILETYPE_PEM) != 1)
        throw SSL_CTX_use_PrivateKey_file_Failed();
    if (SSL_CTX_check_private_key(raw) != 1) throw SSL_CTX_check_private_key_Failed();
    if (SSL_CTX_set_cipher_list(raw, "HIGH") != 1) throw SSL_CTX_set_cipher_list_Failed();
    SSL_CTX_set_options(raw, kServerOptions);
    SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
    // The writers retry a blocked write from their own buffers, which move and may offer more.
    SSL_CTX_set_mode(raw, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return context;
}

SSLConnectionHolder NewSSLConnection(SSL_CTX* context) {
    return MakeChecked<SSL_new_Failed, SSLConnectionHolder>([context] { return SSL_new(context); });
}

SSLConnectionHolder NewServerSSLConnection(SSL_CTX* context, int socket) {
    SSLConnectionHolder connection = NewSSLConnection(context);
    ClearOpenSSLErrors();
    if (SSL_set_fd(connection.Get(), socket) == 0) throw SSL_set_fd_Failed();
    SSL_set_accept_state(connection.Get());
    return connection;
}

int CheckSSLAcceptResult(SSL* connection, int result) {
    return CheckSSLResult<SSL_accept_Failed>(connection, result);
}

int CheckSSLReadResult(SSL* connection, int result) {
    return CheckSSLResult<SSL_read_Failed>(connection, result);
}

int CheckSSLWriteResult(SSL* connection, int result) {
    return CheckSSLResult<SSL_write_Failed>(connection, result);
}

// A read before the handshake has completed runs the next step of the server's side of it; the
// handshake's failures are the read's.
std::size_t SSLRead(SSL* connection, OutputRange& range) {
    if (range.IsFull()) return 0;
    ClearOpenSSLErrors();
    const int room = static_cast<int>(std::min<std::size_t>(range.Room(), INT_MAX));
    const int result = SSL_read(connection, range.begin, room);
    if (result <= 0) {
        CheckSSLReadResult(connection, result);
        return 0;
    }
    range.begin += result;
    return static_cast<std::size_t>(result);
}

std::size_t SSLWrite(SSL* connection, ConstData& range) {
    if (range.IsEmpty()) return 0;
    ClearOpenSSLErrors();
    const int length = static_cast<int>(std::min<std::size_t>(range.Length(), INT_MAX));
    const int result = SSL_write(connection, range.begin, length);
    if (result <= 0) {
        CheckSSLWriteResult(connection, result);
        return 0;
    }
    range.begin += result;
    return static_cast<std::size_t>(result);
}

std::size_t OpenSSLServerConnection::PendingBytes() {
    return static_cast<std::size_t>(SSL_pending(m_connection.Get()));
}

std::size_t OpenSSLServerConnection::Read(OutputRange& range) {
    if (range.IsFull()) return 0;
    const std::size_t count = SSLRead(m_connection.Get(), range);
    if (count == 0 && (SSL_get_shutdown(m_connection.Get()) & SSL_RECEIVED_SHUTDOWN) != 0)
        throw SocketClosedError();
    return count;
}

// The library demands that a write which would have blocked be repeated with the same bytes, while a
// throttled writer may next offer fewer. So the blocked bytes are kept here and retried as they were;
// once they are out, the writer's next bytes (the same ones) are counted as written without sending
// them again.
std::size_t OpenSSLServerConnection::Write(ConstData& range) {
    if (range.IsEmpty()) return 0;
    if (m_sentAhead == 0 && m_blockedWrite.empty()) {
        ConstData piece(range.begin, range.begin + std::min(range.Length(), kMostBytesPerWrite));
        const std::size_t count = SSLWrite(m_connection.Get(), piece);
        if (count != 0) {
            range.begin += count;
            return count;
        }
        m_blockedWrite.assign(piece.begin, piece.end);
        return 0;
    }
    if (m_sentAhead == 0) {
        ConstData blocked(m_blockedWrite.data(), m_blockedWrite.data() + m_blockedWrite.size());
        m_sentAhead = SSLWrite(m_connection.Get(), blocked);
        if (m_sentAhead == 0) return 0;
        m_blockedWrite.clear();
    }
    const std::size_t count = std::min(m_sentAhead, range.Length());
    range.begin += count;
    m_sentAhead -= count;
    return count;
}

// The close notification goes out if the socket takes it; the peer's answer is not waited for.
void OpenSSLServerConnection::Shutdown() {
    ClearOpenSSLErrors();
    if (SSL_is_init_finished(m_connection.Get())) SSL_shutdown(m_connection.Get());
    ClearOpenSSLErrors();
}

std::unique_ptr<TLSConnection> OpenSSLServerContext::CreateConnection(int socket) {
    return std::make_unique<OpenSSLServerConnection>(NewServerSSLConnection(m_context.Get(), socket));
}

std::shared_ptr<TLSServerContext> BuildTLSServerContext(const FileLocation& pemFile) {
    return std::make_shared<OpenSSLServerContext>(pemFile);
}
