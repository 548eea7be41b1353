// Wrappers of OpenSSL's certificate revocation lists: stacks of CRLs and their wire form, signature
// and issuer checks, ordering by issue time, revoked serial numbers, and the product's own CRL
// extensions (supporting certificates, indirect revocation lists; own_object_identifiers.h).
#pragma once

#include "crypto/auto_openssl_object.h"
#include "crypto/openssl_error.h"
#include "crypto/own_asn1_types.h"
#include "base/const_data.h"

OPENSSL_FAILURE(CreateX509_CRLStackFailed);
OPENSSL_FAILURE(WriteX509_CRLStackFailed);
OPENSSL_FAILURE(ReadX509_CRLStackFailed);
OPENSSL_FAILURE(AddX509_CRLFailed);
OPENSSL_FAILURE(RemoveX509_CRLFailed);
OPENSSL_FAILURE(DuplicateX509_CRL_Failed);
// Asked of a null CRL.
class GetCRLSupportingCertificatesFailed : public DebuggableException {};
class GetKVRIndirectRevocationFailed : public DebuggableException {};

CRLStackHolder CreateX509_CRLStack();
// The length of the stack's wire form, a SET [1] IMPLICIT of the CRLs.
std::size_t X509_CRLStackEncodedLength(const STACK_OF(X509_CRL)* crls);
// Writes the wire form into the output, which must hold all of it, and advances the output. The CRLs
// are written in the order of their encodings, as DER wants a SET OF; the stack keeps its order.
void WriteX509_CRLStack(OutputRange& output, const STACK_OF(X509_CRL)* crls);
// Decodes the wire form, which must fill the whole range, and appends its CRLs to the stack. A set
// holding a CRL whose encoding does not read back (CRLEncodingReadsBack) is refused as a whole.
void ReadX509_CRLStack(ConstData encoding, STACK_OF(X509_CRL)* crls);
// True when the CRL's encoding decodes to a CRL of the same encoding, so that it can be written and
// read again; false for a CRL the library reads but writes back as something it cannot read. The
// library's reasons for a false answer stay in the error queue.
bool CRLEncodingReadsBack(const X509_CRL* crl);
// Appends the CRL; the stack takes it out of the holder on success.
void AddX509_CRL(STACK_OF(X509_CRL)* crls, CRLHolder& crl);
CRLHolder RemoveX509_CRL(STACK_OF(X509_CRL)* crls, int index);
CRLHolder DuplicateX509_CRL(X509_CRL* crl);

// False for a null key.
bool CRLVerifiesWithKey(X509_CRL* crl, EVP_PKEY* key);
// True when b was issued (this update) before a. An unreadable time of a gives false, else an
// unreadable time of b gives true.
bool CRLIsNewer(const X509_CRL* a, const X509_CRL* b);
// The authority key identifier extension; empty for null or none.
AuthorityKeyIdHolder GetAuthorityKeyId(const X509_CRL* crl);
// The first certificate of the stack whose subject is the CRL's issuer, whose subject key identifier
// (when both have one) is the CRL's, and whose key verifies the CRL's signature; null when none.
X509* FindCRLIssuer(X509_CRL* crl, const STACK_OF(X509)* certificates);

// Whether a revoked entry of the body carries the serial number. A listed serial does not count when
// the body's or the entry's extensions include a critical one (an extension not understood).
bool IsSerialRevokedByCRL(const KVR_CRL_BODY* body, const ASN1_INTEGER* serial);
bool IsSerialRevokedByCRL(const X509_CRL* crl, const ASN1_INTEGER* serial);

// The certificates of the CRL's supporting-certificates extension; empty when it has none.
X509StackHolder GetCRLSupportingCertificates(const X509_CRL* crl);
// The next indirect revocation list after the extension position, which moves to it; empty when
// there is no further one. Start with position -1, or call GetFirstKVRIndirectRevocation.
CRLBodyHolder GetKVRIndirectRevocation(const X509_CRL* crl, int& position);
CRLBodyHolder GetFirstKVRIndirectRevocation(const X509_CRL* crl);
