#include "crypto/custom_site_roles.h"

#include <openssl/x509v3.h>

#include "crypto/auto_openssl_object.h"
#include "crypto/certificates.h"
#include "crypto/own_object_identifiers.h"

namespace {

// The site name of one role extension; the method registered for the role decodes the value.
bool NamesSite(X509_EXTENSION* extension, std::string_view siteName) {
    ASN1StringHolder value(static_cast<ASN1_STRING*>(X509V3_EXT_d2i(extension)));
    return value && ASN1_STRING_type(value.Get()) == V_ASN1_OCTET_STRING &&
           ASN1StringData(value.Get()).View() == siteName;
}

}  // namespace

Role CustomSiteOwnerRole(std::string_view siteName) { return Role{CustomSiteOwnerExtension(), std::string(siteName)}; }

Role CustomSiteUserRole(std::string_view siteName) { return Role{CustomSiteUserExtension(), std::string(siteName)}; }

bool HasRoleExtension(X509* certificate, const Role& role) {
    if (!certificate) return false;
    for (int at = X509_get_ext_by_NID(certificate, role.kind, -1); at >= 0;
         at = X509_get_ext_by_NID(certificate, role.kind, at)) {
        if (NamesSite(X509_get_ext(certificate, at), role.siteName)) return true;
    }
    return false;
}
