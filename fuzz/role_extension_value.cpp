// The value of a custom-site role extension over hostile bytes, decoded as a delegating certificate's
// extension is: through the registered owner-role method, then compared with a site name. It must
// never crash; a decoded value is one primitive string that encodes again.

#include <openssl/x509v3.h>

#include <cstdint>
#include <cstdlib>

#include "crypto/auto_openssl_object.h"
#include "crypto/certificates.h"
#include "crypto/own_asn1_types.h"
#include "crypto/own_object_identifiers.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const int ownerRole = CustomSiteOwnerExtension();
    ASN1StringHolder bytes(ASN1_OCTET_STRING_new());
    Check(bytes && ASN1_OCTET_STRING_set(bytes.Get(), data, static_cast<int>(size)) == 1);
    X509_EXTENSION* extension = X509_EXTENSION_create_by_NID(nullptr, ownerRole, 0, bytes.Get());
    Check(extension != nullptr);
    ASN1StringHolder value(static_cast<ASN1_STRING*>(X509V3_EXT_d2i(extension)));
    X509_EXTENSION_free(extension);
    if (!value) return 0;
    int type = ASN1_STRING_type(value.Get());
    Check(type != V_ASN1_SEQUENCE && type != V_ASN1_SET && type != V_ASN1_INTEGER && type != V_ASN1_BOOLEAN);
    Check(EncodeRoleValue(value.Get(), nullptr) > 0);
    volatile bool namesSite = ASN1StringData(value.Get()).View() == "CustomSite_Fixture";
    (void)namesSite;
    return 0;
}
