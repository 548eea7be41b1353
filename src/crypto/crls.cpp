#include "crypto/crls.h"

#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "crypto/asn1_time.h"
#include "crypto/own_object_identifiers.h"

namespace {

// Frees a stack that borrows its CRLs, leaving them alone.
struct BorrowingStackDeleter {
    void operator()(STACK_OF(X509_CRL)* stack) const { sk_X509_CRL_free(stack); }
};

bool AnyCritical(const STACK_OF(X509_EXTENSION)* extensions) {
    for (int i = 0; i < sk_X509_EXTENSION_num(extensions); ++i) {
        if (X509_EXTENSION_get_critical(sk_X509_EXTENSION_value(extensions, i))) return true;
    }
    return false;
}

bool IsSerialRevoked(const STACK_OF(X509_REVOKED)* revoked, const STACK_OF(X509_EXTENSION)* listExtensions,
                     const ASN1_INTEGER* serial) {
    if (!serial) return false;
    for (int i = 0; i < sk_X509_REVOKED_num(revoked); ++i) {
        const X509_REVOKED* entry = sk_X509_REVOKED_value(revoked, i);
        if (ASN1_INTEGER_cmp(X509_REVOKED_get0_serialNumber(entry), serial) != 0) continue;
        return !AnyCritical(listExtensions) && !AnyCritical(X509_REVOKED_get0_extensions(entry));
    }
    return false;
}

using DER = std::basic_string<unsigned char>;

// The CRL's encoding; empty when the library cannot write it.
DER EncodeCRL(const X509_CRL* crl) {
    unsigned char* der = nullptr;
    int length = i2d_X509_CRL(crl, &der);
    if (length <= 0) return {};
    DER encoding(der, static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return encoding;
}

// The time, or nothing when it cannot be read.
bool ReadTime(const ASN1_TIME* time, CalendarTime& out) {
    try {
        out = ParseASN1Time(time);
        return true;
    } catch (const InvalidASN1_TIME&) {
        return false;
    }
}

}  // namespace

CRLStackHolder CreateX509_CRLStack() {
    return MakeChecked<CreateX509_CRLStackFailed, CRLStackHolder>([] { return sk_X509_CRL_new_null(); });
}

std::size_t X509_CRLStackEncodedLength(const STACK_OF(X509_CRL)* crls) {
    ClearOpenSSLErrors();
    int length = EncodeCRLSet(crls, nullptr);
    if (length <= 0) throw WriteX509_CRLStackFailed();
    return static_cast<std::size_t>(length);
}

void WriteX509_CRLStack(OutputRange& output, const STACK_OF(X509_CRL)* crls) {
    if (X509_CRLStackEncodedLength(crls) > output.Room()) throw WriteX509_CRLStackFailed();
    // DER wants a SET OF in the order of its elements' encodings; the stack is not reordered, a
    // borrowing copy of it is.
    std::vector<std::pair<DER, X509_CRL*>> elements;
    for (int i = 0; i < sk_X509_CRL_num(crls); ++i) {
        X509_CRL* crl = sk_X509_CRL_value(crls, i);
        DER encoding = EncodeCRL(crl);
        if (encoding.empty()) throw WriteX509_CRLStackFailed();
        elements.emplace_back(std::move(encoding), crl);
    }
    std::stable_sort(elements.begin(), elements.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::unique_ptr<STACK_OF(X509_CRL), BorrowingStackDeleter> ordered(sk_X509_CRL_new_null());
    for (const auto& element : elements) {
        if (!ordered || sk_X509_CRL_push(ordered.get(), element.second) <= 0) throw WriteX509_CRLStackFailed();
    }
    unsigned char* cursor = output.begin;
    if (EncodeCRLSet(ordered.get(), &cursor) <= 0) throw WriteX509_CRLStackFailed();
    output.begin = cursor;
}

void ReadX509_CRLStack(ConstData encoding, STACK_OF(X509_CRL)* crls) {
    const unsigned char* cursor = encoding.begin;
    long length = encoding.Length() > LONG_MAX ? LONG_MAX : static_cast<long>(encoding.Length());
    ClearOpenSSLErrors();
    CRLStackHolder decoded(DecodeCRLSet(&cursor, length));
    if (!decoded || cursor != encoding.end || !crls) throw ReadX509_CRLStackFailed();
    // A list that could not be written back as it is would make the next save unreadable.
    for (int i = 0; i < sk_X509_CRL_num(decoded.Get()); ++i) {
        if (!CRLEncodingReadsBack(sk_X509_CRL_value(decoded.Get(), i))) throw ReadX509_CRLStackFailed();
    }
    while (sk_X509_CRL_num(decoded.Get()) > 0) {
        CRLHolder crl(sk_X509_CRL_shift(decoded.Get()));
        if (sk_X509_CRL_push(crls, crl.Get()) <= 0) throw ReadX509_CRLStackFailed();
        crl.Release();
    }
}

// The library reads some values it cannot write back as they came: an algorithm parameter of
// universal tag 0 sent constructed ("20 00") is written as the end-of-contents octets ("00 00"),
// which no reader takes inside a definite-length SEQUENCE. Writing the list, reading that and
// writing it again finds every such value, whatever its place.
bool CRLEncodingReadsBack(const X509_CRL* crl) {
    DER written = EncodeCRL(crl);
    if (written.empty()) return false;
    const unsigned char* cursor = written.data();
    CRLHolder reread(d2i_X509_CRL(nullptr, &cursor, static_cast<long>(written.size())));
    return reread && cursor == written.data() + written.size() && EncodeCRL(reread.Get()) == written;
}

void AddX509_CRL(STACK_OF(X509_CRL)* crls, CRLHolder& crl) {
    ClearOpenSSLErrors();
    if (!crls || !crl || sk_X509_CRL_push(crls, crl.Get()) <= 0) throw AddX509_CRLFailed();
    crl.Release();
}

CRLHolder RemoveX509_CRL(STACK_OF(X509_CRL)* crls, int index) {
    return MakeChecked<RemoveX509_CRLFailed, CRLHolder>([&] { return sk_X509_CRL_delete(crls, index); });
}

CRLHolder DuplicateX509_CRL(X509_CRL* crl) {
    return MakeChecked<DuplicateX509_CRL_Failed, CRLHolder>(
        [&] { return crl ? X509_CRL_dup(crl) : nullptr; });
}

bool CRLVerifiesWithKey(X509_CRL* crl, EVP_PKEY* key) {
    ClearOpenSSLErrors();
    return crl && key && X509_CRL_verify(crl, key) > 0;
}

bool CRLIsNewer(const X509_CRL* a, const X509_CRL* b) {
    CalendarTime timeA;
    CalendarTime timeB;
    if (!ReadTime(a ? X509_CRL_get0_lastUpdate(a) : nullptr, timeA)) return false;
    if (!ReadTime(b ? X509_CRL_get0_lastUpdate(b) : nullptr, timeB)) return true;
    return timeB.IsEarlierThan(timeA);
}

AuthorityKeyIdHolder GetAuthorityKeyId(const X509_CRL* crl) {
    if (!crl) return AuthorityKeyIdHolder();
    return AuthorityKeyIdHolder(
        static_cast<AUTHORITY_KEYID*>(X509_CRL_get_ext_d2i(crl, NID_authority_key_identifier, nullptr, nullptr)));
}

X509* FindCRLIssuer(X509_CRL* crl, const STACK_OF(X509)* certificates) {
    if (!crl) return nullptr;
    AuthorityKeyIdHolder authorityKeyId = GetAuthorityKeyId(crl);
    const ASN1_OCTET_STRING* keyId = authorityKeyId ? authorityKeyId.Get()->keyid : nullptr;
    for (int i = 0; i < sk_X509_num(certificates); ++i) {
        X509* certificate = sk_X509_value(certificates, i);
        if (!certificate || X509_NAME_cmp(X509_CRL_get_issuer(crl), X509_get_subject_name(certificate)) != 0)
            continue;
        if (keyId) {
            const ASN1_OCTET_STRING* subjectKeyId = X509_get0_subject_key_id(certificate);
            if (subjectKeyId && ASN1_OCTET_STRING_cmp(subjectKeyId, keyId) != 0) continue;
        }
        if (CRLVerifiesWithKey(crl, X509_get0_pubkey(certificate))) return certificate;
    }
    return nullptr;
}

bool IsSerialRevokedByCRL(const KVR_CRL_BODY* body, const ASN1_INTEGER* serial) {
    return body && IsSerialRevoked(body->revoked, body->extensions, serial);
}

bool IsSerialRevokedByCRL(const X509_CRL* crl, const ASN1_INTEGER* serial) {
    // The const-less getter only reads; OpenSSL 3 lacks a const one for the revoked list.
    X509_CRL* list = const_cast<X509_CRL*>(crl);
    return crl && IsSerialRevoked(X509_CRL_get_REVOKED(list), X509_CRL_get0_extensions(crl), serial);
}

X509StackHolder GetCRLSupportingCertificates(const X509_CRL* crl) {
    if (!crl) throw GetCRLSupportingCertificatesFailed();
    int nid = CRLSupportingCertificatesExtension();
    return X509StackHolder(static_cast<STACK_OF(X509)*>(X509_CRL_get_ext_d2i(crl, nid, nullptr, nullptr)));
}

CRLBodyHolder GetKVRIndirectRevocation(const X509_CRL* crl, int& position) {
    if (!crl) throw GetKVRIndirectRevocationFailed();
    int nid = IndirectRevocationExtension();
    return CRLBodyHolder(static_cast<KVR_CRL_BODY*>(X509_CRL_get_ext_d2i(crl, nid, nullptr, &position)));
}

CRLBodyHolder GetFirstKVRIndirectRevocation(const X509_CRL* crl) {
    int position = -1;
    return GetKVRIndirectRevocation(crl, position);
}
