// RevocationStore: the process-wide store of certificate revocation lists (CRLs).
//
// It is filled from the CRLs that travel inside verified signed messages (AddSignedDataCRLs) and
// from the revocation list file (revocation_list_file.h), and answers whether a certificate of a
// verified chain is revoked by a CRL of its issuer, or indirectly through a list another CRL carries.
//
// Merge rule: a CRL is kept only when a signer for it is found among the certificates of its own
// "KVR CRL Supporting Certificates" extension and the certificates given with it; it replaces every
// older CRL of that signer, and is dropped when an equal or newer one of that signer is held.
// Because any signed-looking content can bring CRLs, the store is capped (kMaxRevocationStoreCRLs,
// kMaxRevocationStoreBytes): beyond the cap a CRL that replaces nothing is refused with a "critical"
// log line, while a newer list that replaces an older one is always taken. A list the crypto library
// reads but cannot write back as it is (CRLEncodingReadsBack) is refused with a "critical" line, when
// it comes with a message, and fails the load, when it comes in a file: the store never holds a list
// that a save could not write readably.
//
// The store owns every CRL it holds (crls). Those with an authority key identifier are listed by it,
// sorted (keyed); the others in the order they came (unkeyed). Every CRL is in exactly one of the two
// lists. Thread-safe: every operation holds the store's lock for its whole duration.
#pragma once

#include <cstddef>
#include <vector>

#include "crypto/auto_openssl_object.h"
#include "crypto/indirect_revocation_index.h"
#include "crypto/indirect_revocation_policy.h"
#include "base/const_data.h"
#include "base/exceptions.h"
#include "foundation/critical_section.h"

class CertificateRevoked : public DebuggableException {};
class CertificateIndirectlyRevoked : public DebuggableException {};

inline constexpr std::size_t kMaxRevocationStoreCRLs = 4096;
inline constexpr std::size_t kMaxRevocationStoreBytes = 64 * 1024 * 1024;

class RevocationStore {
  public:
    // An empty store holding at most that many CRLs and DER bytes of CRLs (beyond them, only
    // replacements). GetRevocationStore gives the process-wide one.
    explicit RevocationStore(std::size_t maxCRLs = kMaxRevocationStoreCRLs,
                             std::size_t maxBytes = kMaxRevocationStoreBytes);
    RevocationStore(const RevocationStore&) = delete;
    RevocationStore& operator=(const RevocationStore&) = delete;

    // Replaces the whole content with the CRLs of the revocation list file's wire form (a SET [1]
    // IMPLICIT of CRLs); an empty range empties the store. Malformed content, or a list that could not
    // be written back as it is, throws ReadX509_CRLStackFailed and leaves the store empty. Loaded CRLs
    // are trusted as stored: their signatures are not checked.
    void Load(ConstData encoding);
    void Clear();
    bool IsEmpty();
    std::size_t Count();
    // The wire form of the held CRLs, as one piece (empty for an empty store).
    std::vector<Byte> Encode();

    // Merges one CRL (the rule above); the certificates may be null or empty.
    void AddCRL(X509_CRL* crl, const STACK_OF(X509)* certificates);

    // True when a held CRL signed by the issuer lists the certificate's serial number (and neither the
    // list nor the entry carries a critical extension).
    bool IsRevokedByIssuer(X509* certificate, X509* issuer);
    // True when a certificate of the chain (leaf first) is revoked by the next one; the last
    // certificate, the root, is never tested.
    bool IsChainRevoked(const STACK_OF(X509)* chain);
    bool IsIndirectlyRevoked(X509* certificate, const IndirectRevocationPolicy& policy);
    // Throws CertificateIndirectlyRevoked when IsIndirectlyRevoked.
    void CheckNotIndirectlyRevoked(X509* certificate, const IndirectRevocationPolicy& policy);

  private:
    struct KeyedCRL {
        X509_CRL* crl;                 // held in m_crls
        AuthorityKeyIdHolder keyId;    // its decoded authority key identifier, with a key identifier
    };
    using KeyedRange = std::pair<std::vector<KeyedCRL>::iterator, std::vector<KeyedCRL>::iterator>;

    // The keyed CRLs of the key identifier; all of them for none.
    KeyedRange FindByKeyIdentifier(const ASN1_OCTET_STRING* keyId);
    // Drops the held CRLs of the signer that are older than the CRL; returns how many it dropped.
    std::size_t RemoveOlderCRLs(X509_CRL* crl, const ASN1_OCTET_STRING* keyId, X509* signer);
    bool HoldsEqualOrNewerCRL(X509_CRL* crl, const ASN1_OCTET_STRING* keyId, X509* signer);
    bool HasRoomFor(X509_CRL* crl);
    // Takes a CRL into the stack, a list and the index.
    void Insert(CRLHolder crl, AuthorityKeyIdHolder authorityKeyId);
    // Takes a CRL out of the stack and the index and frees it.
    void Discard(X509_CRL* crl);

    CRLStackHolder m_crls;
    std::vector<KeyedCRL> m_keyed;
    std::vector<X509_CRL*> m_unkeyed;
    IndirectRevocationIndex m_indirect;
    std::size_t m_encodedBytes = 0;  // the DER bytes of the held CRLs
    const std::size_t m_maxCRLs;
    const std::size_t m_maxBytes;
    CriticalSection m_lock;
};

// The process-wide store, made on first use (the crypto library must have been started, else
// OpenSSLNotInitialized) and kept until the process ends.
RevocationStore& GetRevocationStore();

// RevocationStore::AddCRL for every CRL of a signed-data message, in order, with the certificates.
// WrongPKCS7Type when the object is not signed data.
void AddSignedDataCRLs(PKCS7* message, const STACK_OF(X509)* certificates, RevocationStore& store);
// Throws CertificateRevoked when the store finds the chain revoked.
void CheckChainNotRevoked(const STACK_OF(X509)* chain, RevocationStore& store);

// The first of the CRL's supporting certificates, then of the given ones, that may carry the key
// identifier (none, or no subject key identifier, or an equal one) and whose key verifies the CRL;
// a counted copy, or empty.
X509Holder FindCRLSigner(X509_CRL* crl, const ASN1_OCTET_STRING* keyId, const STACK_OF(X509)* certificates);
// True when the certificate has a public key that verifies the CRL's signature.
bool IsCRLSignedBy(X509* certificate, X509_CRL* crl);
