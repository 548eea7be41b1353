#include "crypto/revocation_store.h"

#include <algorithm>

#include "crypto/certificates.h"
#include "crypto/crls.h"
#include "crypto/openssl_startup.h"
#include "crypto/pkcs7_objects.h"
#include "foundation/log_manager.h"

namespace {

// Key identifiers compare as OpenSSL compares octet strings: length first, then bytes.
int CompareKeyIds(const ASN1_OCTET_STRING* a, const ASN1_OCTET_STRING* b) { return ASN1_OCTET_STRING_cmp(a, b); }

// The key identifier of a decoded authority key identifier, or none.
const ASN1_OCTET_STRING* KeyIdOf(const AuthorityKeyIdHolder& authorityKeyId) {
    return authorityKeyId ? authorityKeyId.Get()->keyid : nullptr;
}

std::size_t EncodedLength(X509_CRL* crl) {
    int length = i2d_X509_CRL(crl, nullptr);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

void RegisterRevocationCaptures() {
    // Registration ignores a function it already holds, so repeating it is harmless.
    RegisterExceptionType(&CatchCurrentException);
    RegisterExceptionType(&CaptureExceptionOfType<CertificateRevoked>);
}

}  // namespace

bool IsCRLSignedBy(X509* certificate, X509_CRL* crl) {
    return certificate && CRLVerifiesWithKey(crl, X509_get0_pubkey(certificate));
}

X509Holder FindCRLSigner(X509_CRL* crl, const ASN1_OCTET_STRING* keyId, const STACK_OF(X509)* certificates) {
    X509StackHolder supporting = GetCRLSupportingCertificates(crl);
    for (const STACK_OF(X509)* candidates : {static_cast<const STACK_OF(X509)*>(supporting.Get()), certificates}) {
        for (int i = 0; i < sk_X509_num(candidates); ++i) {
            X509* candidate = sk_X509_value(candidates, i);
            if (!candidate) continue;
            CacheCertificateExtensions(candidate);
            const ASN1_OCTET_STRING* subjectKeyId = X509_get0_subject_key_id(candidate);
            bool mayCarryKey = !subjectKeyId || !keyId || CompareKeyIds(subjectKeyId, keyId) == 0;
            if (mayCarryKey && IsCRLSignedBy(candidate, crl)) {
                X509_up_ref(candidate);
                return X509Holder(candidate);
            }
        }
    }
    return X509Holder();
}

RevocationStore::RevocationStore(std::size_t maxCRLs, std::size_t maxBytes)
    : m_crls(CreateX509_CRLStack()), m_maxCRLs(maxCRLs), m_maxBytes(maxBytes) {}

void RevocationStore::Load(ConstData encoding) {
    LockPL lock(m_lock);
    Clear();
    if (encoding.IsEmpty()) return;
    CRLStackHolder loaded = CreateX509_CRLStack();
    ReadX509_CRLStack(encoding, loaded.Get());
    m_keyed.reserve(static_cast<std::size_t>(sk_X509_CRL_num(loaded.Get())));
    while (sk_X509_CRL_num(loaded.Get()) > 0) {
        CRLHolder crl(sk_X509_CRL_shift(loaded.Get()));
        AuthorityKeyIdHolder authorityKeyId = GetAuthorityKeyId(crl.Get());
        Insert(std::move(crl), std::move(authorityKeyId));
    }
}

void RevocationStore::Clear() {
    LockPL lock(m_lock);
    m_indirect.Clear();
    m_keyed.clear();
    m_unkeyed.clear();
    m_encodedBytes = 0;
    m_crls = CreateX509_CRLStack();
}

bool RevocationStore::IsEmpty() {
    LockPL lock(m_lock);
    return m_keyed.empty() && m_unkeyed.empty();
}

std::size_t RevocationStore::Count() {
    LockPL lock(m_lock);
    return m_keyed.size() + m_unkeyed.size();
}

std::vector<Byte> RevocationStore::Encode() {
    LockPL lock(m_lock);
    if (m_keyed.empty() && m_unkeyed.empty()) return {};
    std::vector<Byte> encoding(X509_CRLStackEncodedLength(m_crls.Get()));
    OutputRange output(encoding.data(), encoding.data() + encoding.size());
    WriteX509_CRLStack(output, m_crls.Get());
    return encoding;
}

void RevocationStore::AddCRL(X509_CRL* crl, const STACK_OF(X509)* certificates) {
    if (!crl) return;
    LockPL lock(m_lock);
    AuthorityKeyIdHolder authorityKeyId = GetAuthorityKeyId(crl);
    const ASN1_OCTET_STRING* keyId = KeyIdOf(authorityKeyId);
    X509Holder signer = FindCRLSigner(crl, keyId, certificates);
    if (!signer) return;  // nobody vouches for it: it can revoke nothing
    // Checked before it replaces anything: a list that cannot be written back as it is would make
    // the next save unreadable, and with it the next start.
    if (!CRLEncodingReadsBack(crl)) {
        ClearOpenSSLErrors();
        KVR_LOG("critical") << "A revocation list was refused: its encoding does not read back as itself";
        return;
    }
    std::size_t replaced = RemoveOlderCRLs(crl, keyId, signer.Get());
    if (HoldsEqualOrNewerCRL(crl, keyId, signer.Get())) return;
    if (replaced == 0 && !HasRoomFor(crl)) return;
    Insert(DuplicateX509_CRL(crl), std::move(authorityKeyId));
}

RevocationStore::KeyedRange RevocationStore::FindByKeyIdentifier(const ASN1_OCTET_STRING* keyId) {
    if (!keyId) return {m_keyed.begin(), m_keyed.end()};
    auto first = std::lower_bound(m_keyed.begin(), m_keyed.end(), keyId, [](const KeyedCRL& held, const ASN1_OCTET_STRING* key) {
        return CompareKeyIds(KeyIdOf(held.keyId), key) < 0;
    });
    auto last = std::upper_bound(first, m_keyed.end(), keyId, [](const ASN1_OCTET_STRING* key, const KeyedCRL& held) {
        return CompareKeyIds(key, KeyIdOf(held.keyId)) < 0;
    });
    return {first, last};
}

std::size_t RevocationStore::RemoveOlderCRLs(X509_CRL* crl, const ASN1_OCTET_STRING* keyId, X509* signer) {
    auto isReplaced = [&](X509_CRL* held) { return IsCRLSignedBy(signer, held) && CRLIsNewer(crl, held); };
    auto [first, last] = FindByKeyIdentifier(keyId);
    auto replacedKeyed = std::stable_partition(first, last, [&](const KeyedCRL& held) { return !isReplaced(held.crl); });
    std::vector<X509_CRL*> replaced;
    for (auto held = replacedKeyed; held != last; ++held) replaced.push_back(held->crl);
    m_keyed.erase(replacedKeyed, last);
    auto replacedUnkeyed = std::partition(m_unkeyed.begin(), m_unkeyed.end(), [&](X509_CRL* held) { return !isReplaced(held); });
    replaced.insert(replaced.end(), replacedUnkeyed, m_unkeyed.end());
    m_unkeyed.erase(replacedUnkeyed, m_unkeyed.end());
    for (X509_CRL* held : replaced) Discard(held);
    return replaced.size();
}

bool RevocationStore::HoldsEqualOrNewerCRL(X509_CRL* crl, const ASN1_OCTET_STRING* keyId, X509* signer) {
    auto isEqualOrNewer = [&](X509_CRL* held) { return IsCRLSignedBy(signer, held) && !CRLIsNewer(crl, held); };
    auto [first, last] = FindByKeyIdentifier(keyId);
    return std::any_of(first, last, [&](const KeyedCRL& held) { return isEqualOrNewer(held.crl); }) ||
           std::any_of(m_unkeyed.begin(), m_unkeyed.end(), isEqualOrNewer);
}

bool RevocationStore::HasRoomFor(X509_CRL* crl) {
    std::size_t count = m_keyed.size() + m_unkeyed.size();
    std::size_t bytes = EncodedLength(crl);
    if (count < m_maxCRLs && bytes <= m_maxBytes - std::min(m_encodedBytes, m_maxBytes))
        return true;
    KVR_LOG("critical") << "Revocation store full (" << count << " lists, " << m_encodedBytes
                        << " bytes): a revocation list that replaces none was refused";
    return false;
}

void RevocationStore::Insert(CRLHolder crl, AuthorityKeyIdHolder authorityKeyId) {
    X509_CRL* held = crl.Get();
    std::size_t bytes = EncodedLength(held);
    AddX509_CRL(m_crls.Get(), crl);
    m_encodedBytes += bytes;
    const ASN1_OCTET_STRING* keyId = KeyIdOf(authorityKeyId);
    if (keyId) {
        // After the lists of an equal key identifier: the order in which they came.
        auto [first, last] = FindByKeyIdentifier(keyId);
        m_keyed.insert(last, KeyedCRL{held, std::move(authorityKeyId)});
    } else {
        m_unkeyed.push_back(held);
    }
    m_indirect.Add(held);
}

void RevocationStore::Discard(X509_CRL* crl) {
    m_indirect.Remove(crl);
    for (int i = 0; i < sk_X509_CRL_num(m_crls.Get()); ++i) {
        if (sk_X509_CRL_value(m_crls.Get(), i) != crl) continue;
        m_encodedBytes -= std::min(m_encodedBytes, EncodedLength(crl));
        RemoveX509_CRL(m_crls.Get(), i);  // the holder frees it
        return;
    }
}

bool RevocationStore::IsRevokedByIssuer(X509* certificate, X509* issuer) {
    LockPL lock(m_lock);
    CacheCertificateExtensions(issuer);
    CacheCertificateExtensions(certificate);
    const ASN1_OCTET_STRING* keyId = X509_get0_subject_key_id(issuer);
    if (!keyId) keyId = X509_get0_authority_key_id(certificate);
    const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate);
    auto revokes = [&](X509_CRL* crl) { return IsSerialRevokedByCRL(crl, serial) && IsCRLSignedBy(issuer, crl); };
    auto [first, last] = FindByKeyIdentifier(keyId);
    return std::any_of(first, last, [&](const KeyedCRL& held) { return revokes(held.crl); }) ||
           std::any_of(m_unkeyed.begin(), m_unkeyed.end(), revokes);
}

bool RevocationStore::IsChainRevoked(const STACK_OF(X509)* chain) {
    LockPL lock(m_lock);
    for (int i = 1; i < sk_X509_num(chain); ++i) {
        if (IsRevokedByIssuer(sk_X509_value(chain, i - 1), sk_X509_value(chain, i))) return true;
    }
    return false;
}

bool RevocationStore::IsIndirectlyRevoked(X509* certificate, const IndirectRevocationPolicy& policy) {
    LockPL lock(m_lock);
    return certificate && m_indirect.IsRevoked(certificate, policy);
}

void RevocationStore::CheckNotIndirectlyRevoked(X509* certificate, const IndirectRevocationPolicy& policy) {
    if (!IsIndirectlyRevoked(certificate, policy)) return;
    RegisterRevocationCaptures();
    RegisterExceptionType(&CaptureExceptionOfType<CertificateIndirectlyRevoked>);
    throw CertificateIndirectlyRevoked();
}

RevocationStore& GetRevocationStore() {
    EnsureOpenSSLInitialized();
    static RevocationStore store;
    return store;
}

void AddSignedDataCRLs(PKCS7* message, const STACK_OF(X509)* certificates, RevocationStore& store) {
    PKCS7_SIGNED* signedData = GetPKCS7SignedData(message);
    for (int i = 0; i < sk_X509_CRL_num(signedData->crl); ++i)
        store.AddCRL(sk_X509_CRL_value(signedData->crl, i), certificates);
}

void CheckChainNotRevoked(const STACK_OF(X509)* chain, RevocationStore& store) {
    if (!store.IsChainRevoked(chain)) return;
    RegisterRevocationCaptures();
    throw CertificateRevoked();
}
