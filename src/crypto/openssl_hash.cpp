#include "crypto/openssl_hash.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "crypto/bio_wrappers.h"
#include "crypto/openssl_startup.h"
#include "formats/hex_codec.h"
#include "foundation/endian.h"
#include "foundation/whole_file.h"

namespace {

struct MethodDeleter {
    void operator()(EVP_MD* method) const { EVP_MD_free(method); }
};
using FetchedMethod = std::unique_ptr<EVP_MD, MethodDeleter>;

struct MDContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// OpenSSL 3 looks a method up in its providers, which is costly per call, and a fetched method keeps
// the provider it came from: a method fetched before FIPS mode came on would still compute MD5 after.
// So each method is fetched once per FIPS mode and kept, by name and mode, to the end of the process
// (a stage may still hold it after a switch).
const EVP_MD* FetchDigestMethod(const char* name) {
    static std::mutex lock;
    static std::map<std::pair<std::string, bool>, FetchedMethod> fetched;
    EnsureOpenSSLInitialized();
    const bool fips = IsOpenSSLFIPSMode();
    std::lock_guard<std::mutex> guard(lock);
    FetchedMethod& method = fetched[{name, fips}];
    if (!method) method.reset(EVP_MD_fetch(nullptr, name, nullptr));
    if (!method) throw DigestMethodUnavailable();
    return method.get();
}

}  // namespace

const EVP_MD* GetHTTPDigestMethod() {
    return FetchDigestMethod("MD5");
}

const EVP_MD* ContentHashDigest() {
    return FetchDigestMethod("SHA1");
}

void OpenSSLHash::Start(const EVP_MD* method) {
    m_method = method;
    m_chain.Reset();
    m_digest = DigestRecord();
}

void OpenSSLHash::Begin() {
    if (!m_method) throw DigestFailed();
    m_chain = BIOChainHolder(NewDigestBIO(m_method).Release());
    PushBIO(m_chain, NewBIO(BIO_s_null()));
    m_digest = DigestRecord();
}

void OpenSSLHash::Receive(const Byte* begin, const Byte* end) {
    if (!m_chain) throw DigestFailed();
    BIOWrite(m_chain.Get(), ConstData(begin, end));
    m_digest = DigestRecord();
}

void OpenSSLHash::End() {
    if (!m_chain) throw DigestFailed();
    FlushBIO(m_chain.Get());
    m_digest = DigestRecord();
}

// Reading the digest BIO would finish its context in place and spoil any further input, so the
// running context is finished on a copy.
DigestRecord OpenSSLHash::GetDigest() const {
    if (!m_chain) throw DigestFailed();
    if (m_digest.IsEmpty()) {
        EVP_MD_CTX* running = nullptr;
        if (BIO_get_md_ctx(m_chain.Get(), &running) != 1 || running == nullptr) throw DigestFailed();
        std::unique_ptr<EVP_MD_CTX, MDContextDeleter> copy(EVP_MD_CTX_new());
        Byte digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        if (!copy || EVP_MD_CTX_copy_ex(copy.get(), running) != 1 ||
            EVP_DigestFinal_ex(copy.get(), digest, &length) != 1)
            throw DigestFailed();
        m_digest = DigestRecord(digest, digest + length);
    }
    return m_digest;
}

DigestRecord HashFile(const FileLocation& location, const EVP_MD* method, std::uint64_t start) {
    OpenSSLHash hash;
    hash.Start(method);
    FeedFileToReceiver(location, hash, start);
    return hash.GetDigest();
}

DataReceiver& DualHashReceiver::SelectDigests(std::uint32_t flags) {
    m_flags = flags;
    DataReceiver& ignore = IgnoreDataReceiver::Instance();
    if ((flags & kContentDigest) != 0) m_content.Start(ContentHashDigest());
    if ((flags & kFirstDigest) != 0) m_first.Start(GetFirstDigest());
    m_tee.SetTargets((flags & kFirstDigest) != 0 ? static_cast<DataReceiver&>(m_first) : ignore,
                     (flags & kContentDigest) != 0 ? static_cast<DataReceiver&>(m_content) : ignore);
    return m_tee;
}

DigestRecord DigestRecordFromHex(std::string_view text) {
    const std::string bytes = HexDecodeText(ConstData(text));
    if (bytes.size() > DigestRecord::kCapacity) throw DataOverflow();
    const Byte* begin = reinterpret_cast<const Byte*>(bytes.data());
    return DigestRecord(begin, begin + bytes.size());
}

std::string DigestRecordToText(const DigestRecord& record) {
    return record.ToHex();
}

bool DigestLess(const DigestRecord& a, const DigestRecord& b) {
    const ConstData left = a.Bytes();
    const ConstData right = b.Bytes();
    return std::lexicographical_compare(left.begin, left.end, right.begin, right.end);
}
