// Wrappers of OpenSSL's certificate calls. A creating wrapper throws its named OpenSSLError when the
// library refuses and hands the new object back in a holder; a test returns bool and throws nothing.
// Byte ranges handed out point into the certificate and live as long as it does.
#pragma once

#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "base/const_data.h"

OPENSSL_FAILURE(CreateX509Failed);
OPENSSL_FAILURE(DuplicateX509_Failed);
OPENSSL_FAILURE(PEMReadX509Failed);
OPENSSL_FAILURE(SetX509IssuerName_Failed);
OPENSSL_FAILURE(SerialNumberFailed);

// A certificate's serial number, kept whole: serial numbers run to 20 octets, and two long serials
// that share their low bits are different serials.
class CertificateSerial {
  public:
    static CertificateSerial FromInteger(std::int64_t value);
    static CertificateSerial FromASN1(const ASN1_INTEGER* integer);

    bool operator==(const CertificateSerial& other) const = default;

  private:
    bool m_negative = false;
    std::vector<Byte> m_magnitude;  // big-endian, no leading zero octet; empty for 0
};

// Decodes one certificate from the start of the DER bytes.
X509Holder CreateX509(ConstData der);
// An independent copy; empty for null.
X509Holder DuplicateX509(X509* certificate);
// The next PEM certificate of the chain; an encrypted one is refused, never prompted for.
X509Holder PEMReadX509(BIO* chain);
int SetX509IssuerName(X509* certificate, const X509_NAME* name);

// Throws SerialNumberFailed when the certificate has none.
CertificateSerial GetSerialNumber(const X509* certificate);
// False when either is null or lacks a serial number.
bool SameSerialNumber(const X509* a, const X509* b);
// The DER encodings of both public keys are equal; false when either is missing.
bool SamePublicKey(X509* a, X509* b);
bool CertificateSignedByKey(X509* certificate, EVP_PKEY* key);
// The record names the certificate by issuer and serial number; false when anything is missing.
bool IssuerAndSerialMatches(const PKCS7_SIGNER_INFO* signer, const X509* certificate);
bool IssuerAndSerialMatches(const PKCS7_RECIP_INFO* recipient, const X509* certificate);

// The raw value bytes of the first subject entry of the NID; empty when none or for null.
ConstData GetNameEntryText(const X509* certificate, int nid);
ConstData GetSubjectCommonName(const X509* certificate);
ConstData GetSubjectOrganization(const X509* certificate);
// Of the subject's "name" entries (NID 173) in order, the first that begins with the prefix gives
// the rest of its value after the prefix; empty when none does or for null.
ConstData GetSubjectNameField(const X509* certificate, std::string_view prefix);

// Empty when the certificate has no usable key.
PrivateKeyHolder GetPublicKey(X509* certificate);
// Makes the library compute the certificate's cached extension data (key identifiers, purposes).
void CacheCertificateExtensions(X509* certificate);
ConstData ASN1StringData(const ASN1_STRING* value);
