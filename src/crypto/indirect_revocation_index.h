// IndirectRevocationIndex: the indirect revocation lists carried by the CRLs of a revocation store,
// one entry per "KVR Indirect Revocation List" extension, ordered by the inner list's issuer name
// (OpenSSL's name comparison) and, among equal names, by the order their CRLs were added.
//
// An entry owns its decoded inner list and borrows the outer CRL, which the store keeps alive while
// the entry exists. Not thread-safe: the owning RevocationStore guards it with its lock.
#pragma once

#include <vector>

#include "crypto/indirect_revocation_policy.h"
#include "crypto/own_asn1_types.h"

class IndirectRevocationIndex {
  public:
    // Adds an entry for each indirect revocation list of the CRL.
    void Add(X509_CRL* crl);
    // Drops every entry of the CRL.
    void Remove(const X509_CRL* crl);
    void Clear() { m_entries.clear(); }
    std::size_t Size() const { return m_entries.size(); }

    // True when an inner list of the certificate's issuer lists its serial number and the policy
    // finds the outer CRL authoritative for it. An entry whose test throws is skipped.
    bool IsRevoked(X509* certificate, const IndirectRevocationPolicy& policy) const;

  private:
    struct Entry {
        X509_CRL* outer;
        CRLBodyHolder inner;
    };
    std::vector<Entry> m_entries;
};
