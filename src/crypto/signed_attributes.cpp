#include "crypto/signed_attributes.h"

#include <mutex>

#include "crypto/certificates.h"
#include "crypto/own_object_identifiers.h"

namespace {

void RegisterIntendedSiteCaptures() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        RegisterExceptionType(CaptureExceptionOfType<IntendedSiteNotPresent>);
        RegisterExceptionType(CaptureExceptionOfType<IntendedSiteDoesNotMatch>);
    });
}

void RegisterActionAuthorizationCapture() {
    static std::once_flag registered;
    std::call_once(registered, [] { RegisterExceptionType(CaptureExceptionOfType<ActionAuthorizationDenied>); });
}

}  // namespace

void CheckIntendedSite(PKCS7_SIGNER_INFO* signerInfo, std::string_view siteName, bool required) {
    RegisterIntendedSiteCaptures();
    if (!signerInfo) throw GetKVRIntendedSiteFailed();
    ASN1_TYPE* attribute = PKCS7_get_signed_attribute(signerInfo, GetIntendedSiteNID());
    if (attribute && attribute->type == V_ASN1_OCTET_STRING && attribute->value.octet_string) {
        if (ASN1StringData(attribute->value.octet_string).View() != siteName) throw IntendedSiteDoesNotMatch();
        return;
    }
    if (required) throw IntendedSiteNotPresent();
}

bool IsActionAuthorized(PKCS7_SIGNER_INFO* signerInfo, bool defaultValue) {
    if (!signerInfo) throw GetKVRActionAuthorizationFailed();
    ASN1_TYPE* attribute = PKCS7_get_signed_attribute(signerInfo, GetActionAuthorizedNID());
    if (!attribute || attribute->type != V_ASN1_BOOLEAN) return defaultValue;
    return attribute->value.boolean != 0;
}

void RequireActionAuthorized(PKCS7_SIGNER_INFO* signerInfo, bool strict) {
    RegisterActionAuthorizationCapture();
    if (!IsActionAuthorized(signerInfo, !strict)) throw ActionAuthorizationDenied();
}
