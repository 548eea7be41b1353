// The object identifiers of the product's own certificate and CRL extensions, and the extension
// methods of those whose values the program decodes: two CRL extensions and the two custom-site roles.
//
// All lie under the product's private enterprise arc 1.3.6.1.4.1.KVR_ENTERPRISE_ARC (a build-time
// constant that the test fixtures share, from 16384 to 2097151 so that it encodes in three bytes):
//   .4   "KVR Indirect Revocation List"     .5   "KVR Action Authorized"
//   .6   "KVR Role"                         .6.1 "KVR Custom Site Owner"   .6.2 "KVR Custom Site User"
//   .7   "KVR CRL Supporting Certificates"  .9   "KVR Intended Site"
//
// Each accessor adds its object to OpenSSL's object table on first use, with a fresh NID, and
// returns that NID from then on; a refusal throws AddObjectToOpenSSLTablesFailed and the next call
// tries again. The custom-site objects add the role object first. The extension accessors register
// the extension's method once (RegisterX509ExtensionType_Failed). Thread-safe; the library owns
// what was added until the process ends.
#pragma once

#include "crypto/openssl_error.h"

class AddObjectToOpenSSLTablesFailed : public DebuggableException {};
OPENSSL_FAILURE(RegisterX509ExtensionType_Failed);

// The arc's number, at most 21 bits.
constexpr unsigned kEnterpriseArc = KVR_ENTERPRISE_ARC;
static_assert(kEnterpriseArc >= 16384 && kEnterpriseArc <= 2097151, "the arc must encode in three bytes");

int GetIndirectRevocationListNID();
int GetActionAuthorizedNID();
int GetRoleNID();
int GetCRLSupportingCertificatesNID();
int GetIntendedSiteNID();
int GetCustomSiteOwnerNID();
int GetCustomSiteUserNID();

// "KVR CRL Supporting Certificates": a stack of certificates coded as SET [1] IMPLICIT.
int CRLSupportingCertificatesExtension();
// "KVR Indirect Revocation List": the to-be-signed body of a CRL (KVR_CRL_BODY).
int IndirectRevocationExtension();
// "KVR Custom Site Owner" and "KVR Custom Site User": one string naming the site (own_asn1_types.h,
// DecodeRoleValue).
int CustomSiteOwnerExtension();
int CustomSiteUserExtension();
