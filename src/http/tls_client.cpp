#include "http/tls_client.h"

#include <openssl/x509_vfy.h>

#include <mutex>

#include "http/http_client_errors.h"
#include "net/ip_address.h"

namespace {

std::mutex trustedFileLock;
std::string trustedFile;

// The relay fetches from parents whose certificates an administrator may let lapse: an expired
// certificate is accepted, every other verdict stands as OpenSSL gives it.
int AcceptExpiredCertificates(int preverified, X509_STORE_CTX* store) {
    return preverified || X509_STORE_CTX_get_error(store) == X509_V_ERR_CERT_HAS_EXPIRED;
}

}  // namespace

void SetTrustedCertificateFile(std::string path) {
    std::lock_guard<std::mutex> guard(trustedFileLock);
    trustedFile = std::move(path);
}

std::string TrustedCertificateFile() {
    std::lock_guard<std::mutex> guard(trustedFileLock);
    return trustedFile;
}

TLSClientContext::TLSClientContext() : m_context(SSL_CTX_new(TLS_client_method())) {
    if (!m_context) throw Http_err_SSL1();
    // Many servers close without a TLS close notification. A body of announced length that ends early
    // is still a short response; one that runs to the end of the connection ends there.
    SSL_CTX_set_options(m_context.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    std::string trusted = TrustedCertificateFile();
    if (trusted.empty()) return;
    if (SSL_CTX_load_verify_locations(m_context.get(), trusted.c_str(), nullptr) != 1) throw Http_err_SSL1();
    SSL_CTX_set_verify(m_context.get(), SSL_VERIFY_PEER, AcceptExpiredCertificates);
    m_verifyPeer = true;
}

TLSClientSession::TLSClientSession(const TLSClientContext& context, int socket, const std::string& host)
    : m_session(SSL_new(context.Get())) {
    if (!m_session || SSL_set_fd(m_session.get(), socket) != 1) throw Http_err_SSL2();
    // Server names are host names: an address literal is sent as no name, and checked as an address.
    bool isAddress = TryParseIPAddress(host).IsValid() && !host.empty();
    if (!isAddress && SSL_set_tlsext_host_name(m_session.get(), host.c_str()) != 1) throw Http_err_SSL2();
    // A certificate that chains to a trusted one proves nothing unless it was issued for this host.
    if (context.VerifiesPeer()) {
        X509_VERIFY_PARAM* verify = SSL_get0_param(m_session.get());
        int named = isAddress ? X509_VERIFY_PARAM_set1_ip_asc(verify, host.c_str())
                              : X509_VERIFY_PARAM_set1_host(verify, host.c_str(), host.size());
        if (named != 1) throw Http_err_SSL2();
    }
    if (SSL_connect(m_session.get()) != 1) throw Http_err_SSL3();
}

long TLSClientSession::Read(Byte* buffer, std::size_t size) {
    std::size_t read = 0;
    int result = SSL_read_ex(m_session.get(), buffer, size, &read);
    if (result == 1) return static_cast<long>(read);
    int error = SSL_get_error(m_session.get(), result);
    return error == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

long TLSClientSession::Write(ConstData bytes) {
    std::size_t written = 0;
    if (SSL_write_ex(m_session.get(), bytes.begin, bytes.Length(), &written) != 1) return -1;
    return static_cast<long>(written);
}
