// OpenSSLHash: a message digest computed by OpenSSL as a stage of the data pipeline, and the
// process-wide digest method of HTTP Digest authentication.
//
// Use: Start binds the stage to a digest method, then each message is Begin, Receive (any number of
// byte ranges), End, and GetDigest hands out its digest. One stage may compute any number of
// messages in a row. The digest method must outlive the stage. One thread at a time.
#pragma once

#include <openssl/evp.h>

#include <memory>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "formats/digest_record.h"

// OpenSSL has no such digest method (MD5 is absent, for example, where only FIPS providers load).
class DigestMethodUnavailable : public DebuggableException {};
// OpenSSL refused a digest call, or the stage was used out of order (a message before Start,
// GetDigest before End).
class DigestFailed : public DebuggableException {};

// MD5, fetched from OpenSSL on the first call and kept until the process ends; throws
// DigestMethodUnavailable when OpenSSL cannot give it. Thread-safe.
const EVP_MD* GetHTTPDigestMethod();

class OpenSSLHash : public DataReceiver, public DataWriter {
  public:
    OpenSSLHash();
    ~OpenSSLHash() override;
    OpenSSLHash(const OpenSSLHash&) = delete;
    OpenSSLHash& operator=(const OpenSSLHash&) = delete;

    // Binds the stage to the method and forgets any message and digest.
    void Start(const EVP_MD* method);

    // A new message: forgets the previous one.
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    // The message is complete: its digest is computed now.
    void End() override;

    // The digest of the last ended message.
    const DigestRecord& GetDigest() const;

  private:
    struct ContextDeleter {
        void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
    };

    std::unique_ptr<EVP_MD_CTX, ContextDeleter> m_context;
    const EVP_MD* m_method = nullptr;
    bool m_inMessage = false;
    bool m_finished = false;
    DigestRecord m_digest;
};
