// The product's signed attributes in a signer's PKCS#7 signer info, and the checks built on them:
//   "KVR Action Authorized" (BOOLEAN): false forbids the signed action;
//   "KVR Intended Site" (OCTET STRING): the name of the site the signer meant.
// An attribute of another type, or without a value, counts as absent. Each failure below can be
// captured and thrown again with its own type (registered before the check first throws it).
#pragma once

#include <openssl/pkcs7.h>

#include <string_view>

#include "base/exceptions.h"

class IntendedSiteNotPresent : public DebuggableException {};
class IntendedSiteDoesNotMatch : public DebuggableException {};
class GetKVRIntendedSiteFailed : public DebuggableException {};
class ActionAuthorizationDenied : public DebuggableException {};
class GetKVRActionAuthorizationFailed : public DebuggableException {};

// A present intended site must equal the site name byte for byte (IntendedSiteDoesNotMatch); an
// absent one is refused only when required (IntendedSiteNotPresent). No signer info:
// GetKVRIntendedSiteFailed.
void CheckIntendedSite(PKCS7_SIGNER_INFO* signerInfo, std::string_view siteName, bool required);

// The "KVR Action Authorized" value, or the default when the attribute is absent. No signer info:
// GetKVRActionAuthorizationFailed.
bool IsActionAuthorized(PKCS7_SIGNER_INFO* signerInfo, bool defaultValue);
// ActionAuthorizationDenied unless authorised; when strict, an absent attribute denies.
void RequireActionAuthorized(PKCS7_SIGNER_INFO* signerInfo, bool strict);
