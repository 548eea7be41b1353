#include "crypto/indirect_revocation_index.h"

#include <algorithm>

#include "crypto/crls.h"

namespace {

// Orders entries and names by the inner list's issuer name.
struct ByIssuerName {
    template <class Entry>
    bool operator()(const Entry& entry, const X509_NAME* name) const {
        return X509_NAME_cmp(entry.inner.Get()->issuer, name) < 0;
    }
    template <class Entry>
    bool operator()(const X509_NAME* name, const Entry& entry) const {
        return X509_NAME_cmp(name, entry.inner.Get()->issuer) < 0;
    }
    template <class Entry>
    bool operator()(const Entry& a, const Entry& b) const {
        return X509_NAME_cmp(a.inner.Get()->issuer, b.inner.Get()->issuer) < 0;
    }
};

}  // namespace

void IndirectRevocationIndex::Add(X509_CRL* crl) {
    std::size_t held = m_entries.size();
    int position = -1;
    for (CRLBodyHolder inner = GetKVRIndirectRevocation(crl, position); inner;
         inner = GetKVRIndirectRevocation(crl, position)) {
        // A list without an issuer can name nobody's certificates.
        if (inner.Get()->issuer) m_entries.push_back(Entry{crl, std::move(inner)});
    }
    // The new entries go after the held ones of equal names: a stable sort of the new ones, then a
    // stable merge.
    auto added = m_entries.begin() + static_cast<std::ptrdiff_t>(held);
    std::stable_sort(added, m_entries.end(), ByIssuerName());
    std::inplace_merge(m_entries.begin(), added, m_entries.end(), ByIssuerName());
}

void IndirectRevocationIndex::Remove(const X509_CRL* crl) {
    std::erase_if(m_entries, [crl](const Entry& entry) { return entry.outer == crl; });
}

bool IndirectRevocationIndex::IsRevoked(X509* certificate, const IndirectRevocationPolicy& policy) const {
    const X509_NAME* issuer = X509_get_issuer_name(certificate);
    const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate);
    auto [first, last] = std::equal_range(m_entries.begin(), m_entries.end(), issuer, ByIssuerName());
    for (auto entry = first; entry != last; ++entry) {
        try {
            if (IsSerialRevokedByCRL(entry->inner.Get(), serial) && policy.IsAuthoritative(certificate, entry->outer))
                return true;
        } catch (...) {
            // One list that cannot be judged does not decide for the others.
        }
    }
    return false;
}
