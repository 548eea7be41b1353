#include "crypto/certificates.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <climits>

namespace {

int RefusePassPhrase(char*, int, int, void*) { return 0; }

std::vector<Byte> EncodedPublicKey(X509* certificate) {
    EVP_PKEY* key = certificate ? X509_get0_pubkey(certificate) : nullptr;
    if (!key) return {};
    int length = i2d_PUBKEY(key, nullptr);
    if (length <= 0) return {};
    std::vector<Byte> encoding(static_cast<std::size_t>(length));
    unsigned char* cursor = encoding.data();
    if (i2d_PUBKEY(key, &cursor) != length) return {};
    return encoding;
}

bool IssuerAndSerialMatch(const PKCS7_ISSUER_AND_SERIAL* record, const X509* certificate) {
    if (!record || !record->issuer || !record->serial || !certificate) return false;
    const X509_NAME* issuer = X509_get_issuer_name(certificate);
    const ASN1_INTEGER* serial = X509_get0_serialNumber(certificate);
    if (!issuer || !serial) return false;
    return ASN1_INTEGER_cmp(record->serial, serial) == 0 && X509_NAME_cmp(record->issuer, issuer) == 0;
}

}  // namespace

CertificateSerial CertificateSerial::FromInteger(std::int64_t value) {
    CertificateSerial serial;
    serial.m_negative = value < 0;
    std::uint64_t magnitude = serial.m_negative ? 0 - static_cast<std::uint64_t>(value) : value;
    for (int shift = 56; shift >= 0; shift -= 8) {
        Byte octet = static_cast<Byte>(magnitude >> shift);
        if (octet != 0 || !serial.m_magnitude.empty()) serial.m_magnitude.push_back(octet);
    }
    return serial;
}

CertificateSerial CertificateSerial::FromASN1(const ASN1_INTEGER* integer) {
    CertificateSerial serial;
    serial.m_negative = ASN1_STRING_type(integer) == V_ASN1_NEG_INTEGER;
    ConstData bytes = ASN1StringData(integer);
    while (!bytes.IsEmpty() && *bytes.begin == 0) ++bytes.begin;
    serial.m_magnitude.assign(bytes.begin, bytes.end);
    if (serial.m_magnitude.empty()) serial.m_negative = false;
    return serial;
}

X509Holder CreateX509(ConstData der) {
    const unsigned char* cursor = der.begin;
    long length = der.Length() > LONG_MAX ? LONG_MAX : static_cast<long>(der.Length());
    return MakeChecked<CreateX509Failed, X509Holder>([&] { return d2i_X509(nullptr, &cursor, length); });
}

X509Holder DuplicateX509(X509* certificate) {
    if (!certificate) return X509Holder();
    return MakeChecked<DuplicateX509_Failed, X509Holder>([&] { return X509_dup(certificate); });
}

X509Holder PEMReadX509(BIO* chain) {
    return MakeChecked<PEMReadX509Failed, X509Holder>(
        [&] { return PEM_read_bio_X509(chain, nullptr, RefusePassPhrase, nullptr); });
}

int SetX509IssuerName(X509* certificate, const X509_NAME* name) {
    ClearOpenSSLErrors();
    int result = X509_set_issuer_name(certificate, name);
    if (result == 0) throw SetX509IssuerName_Failed();
    return result;
}

CertificateSerial GetSerialNumber(const X509* certificate) {
    const ASN1_INTEGER* serial = certificate ? X509_get0_serialNumber(certificate) : nullptr;
    if (!serial) throw SerialNumberFailed();
    return CertificateSerial::FromASN1(serial);
}

bool SameSerialNumber(const X509* a, const X509* b) {
    const ASN1_INTEGER* serialA = a ? X509_get0_serialNumber(a) : nullptr;
    const ASN1_INTEGER* serialB = b ? X509_get0_serialNumber(b) : nullptr;
    return serialA && serialB && ASN1_INTEGER_cmp(serialA, serialB) == 0;
}

bool SamePublicKey(X509* a, X509* b) {
    std::vector<Byte> keyA = EncodedPublicKey(a);
    std::vector<Byte> keyB = EncodedPublicKey(b);
    return !keyA.empty() && keyA == keyB;
}

bool CertificateSignedByKey(X509* certificate, EVP_PKEY* key) {
    ClearOpenSSLErrors();
    return certificate && key && X509_verify(certificate, key) > 0;
}

bool IssuerAndSerialMatches(const PKCS7_SIGNER_INFO* signer, const X509* certificate) {
    return signer && IssuerAndSerialMatch(signer->issuer_and_serial, certificate);
}

bool IssuerAndSerialMatches(const PKCS7_RECIP_INFO* recipient, const X509* certificate) {
    return recipient && IssuerAndSerialMatch(recipient->issuer_and_serial, certificate);
}

ConstData GetNameEntryText(const X509* certificate, int nid) {
    const X509_NAME* subject = certificate ? X509_get_subject_name(certificate) : nullptr;
    int index = subject ? X509_NAME_get_index_by_NID(subject, nid, -1) : -1;
    if (index < 0) return {};
    return ASN1StringData(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
}

ConstData GetSubjectCommonName(const X509* certificate) { return GetNameEntryText(certificate, NID_commonName); }

ConstData GetSubjectOrganization(const X509* certificate) {
    return GetNameEntryText(certificate, NID_organizationName);
}

ConstData GetSubjectNameField(const X509* certificate, std::string_view prefix) {
    const X509_NAME* subject = certificate ? X509_get_subject_name(certificate) : nullptr;
    if (!subject) return {};
    for (int index = -1; (index = X509_NAME_get_index_by_NID(subject, NID_name, index)) >= 0;) {
        ConstData value = ASN1StringData(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
        if (ConstDataStartsWith(value, ConstData(prefix))) return {value.begin + prefix.size(), value.end};
    }
    return {};
}

PrivateKeyHolder GetPublicKey(X509* certificate) {
    return PrivateKeyHolder(certificate ? X509_get_pubkey(certificate) : nullptr);
}

void CacheCertificateExtensions(X509* certificate) {
    // Any query of the extension flags makes the library fill its cache.
    if (certificate) X509_get_extension_flags(certificate);
}

ConstData ASN1StringData(const ASN1_STRING* value) {
    if (!value) return {};
    return ConstData(ASN1_STRING_get0_data(value), static_cast<std::size_t>(ASN1_STRING_length(value)));
}
