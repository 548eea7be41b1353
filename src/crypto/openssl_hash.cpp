#include "crypto/openssl_hash.h"

namespace {

struct MethodDeleter {
    void operator()(EVP_MD* method) const { EVP_MD_free(method); }
};

}  // namespace

const EVP_MD* GetHTTPDigestMethod() {
    // Fetched once: OpenSSL 3 looks methods up in its providers, which is costly per call.
    static const std::unique_ptr<EVP_MD, MethodDeleter> method(EVP_MD_fetch(nullptr, "MD5", nullptr));
    if (!method) throw DigestMethodUnavailable();
    return method.get();
}

OpenSSLHash::OpenSSLHash() : m_context(EVP_MD_CTX_new()) {
    if (!m_context) throw DigestFailed();
}

OpenSSLHash::~OpenSSLHash() = default;

void OpenSSLHash::Start(const EVP_MD* method) {
    m_method = method;
    m_inMessage = false;
    m_finished = false;
    m_digest = DigestRecord();
}

void OpenSSLHash::Begin() {
    if (!m_method || EVP_DigestInit_ex(m_context.get(), m_method, nullptr) != 1) throw DigestFailed();
    m_inMessage = true;
    m_finished = false;
}

void OpenSSLHash::Receive(const Byte* begin, const Byte* end) {
    if (!m_inMessage) throw DigestFailed();
    if (begin != end && EVP_DigestUpdate(m_context.get(), begin, static_cast<std::size_t>(end - begin)) != 1)
        throw DigestFailed();
}

void OpenSSLHash::End() {
    if (!m_inMessage) throw DigestFailed();
    Byte digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    m_inMessage = false;
    if (EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1) throw DigestFailed();
    m_digest = DigestRecord(digest, digest + length);
    m_finished = true;
}

const DigestRecord& OpenSSLHash::GetDigest() const {
    if (!m_finished) throw DigestFailed();
    return m_digest;
}
