// Message digests through OpenSSL: the two digest methods the program uses, OpenSSLHash (a stage of
// the data pipeline that digests everything it receives), HashFile, and DualHashReceiver, which
// computes either or both digests in one pass.
//
// OpenSSLHash use: Start binds the stage to a digest method, then each message is Begin, Receive (any
// number of byte ranges), End. GetDigest answers the digest of everything received since Begin, at
// any point of the message (the running digest is finished on a copy). The stage digests through an
// OpenSSL digest BIO chain (a digest BIO before a null sink); GetBIO hands out that digest BIO for the
// signed-message checks, which find their digest in it. One stage may compute any number of messages
// in a row. One thread at a time.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "crypto/auto_openssl_object.h"
#include "formats/digest_record.h"
#include "foundation/data_stages.h"

// OpenSSL has no such digest method (MD5 is absent in FIPS mode, for example).
class DigestMethodUnavailable : public DebuggableException {};
// OpenSSL refused a digest call, or the stage was used out of order (a message before Start or Begin).
class DigestFailed : public DebuggableException {};

// MD5, the digest of HTTP Digest authentication (GetFirstDigest). SHA-1, the content digest of files,
// downloads and uploads. Each is taken under the library's current FIPS mode and kept while that mode
// lasts, so a method never outlives a switch that forbids it. Both call EnsureOpenSSLInitialized
// (OpenSSLNotInitialized before start-up) and throw DigestMethodUnavailable when the library refuses.
// The method stays valid until the process ends. Thread-safe.
const EVP_MD* GetHTTPDigestMethod();
inline const EVP_MD* GetFirstDigest() {
    return GetHTTPDigestMethod();
}
const EVP_MD* ContentHashDigest();

class OpenSSLHash : public DataReceiver, public DataWriter {
  public:
    OpenSSLHash() = default;
    OpenSSLHash(const OpenSSLHash&) = delete;
    OpenSSLHash& operator=(const OpenSSLHash&) = delete;

    // Binds the stage to the method (which must outlive the stage) and forgets any message.
    void Start(const EVP_MD* method);

    // A new message: forgets the previous one. Throws DigestFailed before Start.
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

    // The digest of everything received since Begin; throws DigestFailed before Begin.
    DigestRecord GetDigest() const;
    // The digest BIO of the current message (null before Begin); owned by the stage.
    BIO* GetBIO() const { return m_chain.Get(); }

  private:
    const EVP_MD* m_method = nullptr;
    BIOChainHolder m_chain;
    mutable DigestRecord m_digest;  // kept from the last GetDigest until more input
};

// The digest of the file's content from the offset on.
DigestRecord HashFile(const FileLocation& location, const EVP_MD* method, std::uint64_t start = 0);

// Either or both digests of one stream: SelectDigests picks them (flag bit 0 the first digest, MD5;
// bit 1 the content digest, SHA-1) and answers the receiver to feed. Until then only the content
// digest is selected.
class DualHashReceiver {
  public:
    static constexpr std::uint32_t kFirstDigest = 1;
    static constexpr std::uint32_t kContentDigest = 2;

    DualHashReceiver() { SelectDigests(kContentDigest); }
    DualHashReceiver(const DualHashReceiver&) = delete;
    DualHashReceiver& operator=(const DualHashReceiver&) = delete;

    DataReceiver& SelectDigests(std::uint32_t flags);
    // The chosen stage, to call GetDigest on; null when its digest is not selected.
    OpenSSLHash* GetFirstHash() { return (m_flags & kFirstDigest) != 0 ? &m_first : nullptr; }
    OpenSSLHash* GetContentHash() { return (m_flags & kContentDigest) != 0 ? &m_content : nullptr; }

  private:
    OpenSSLHash m_first;
    OpenSSLHash m_content;
    std::uint32_t m_flags = 0;
    DataTee2 m_tee;
};

// Hexadecimal text (either case) to a record; DataOverflow beyond 64 bytes.
DigestRecord DigestRecordFromHex(std::string_view text);
// The record's lower-case hexadecimal text.
std::string DigestRecordToText(const DigestRecord& record);
// The byte strings compared lexicographically, a proper prefix first: the key order of digest maps.
bool DigestLess(const DigestRecord& a, const DigestRecord& b);
