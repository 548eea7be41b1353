#include "crypto/certificate_fields.h"

#include <string_view>

#include "crypto/certificates.h"

namespace {

// Position n - fromTop of the chain; null when the chain is null or too short.
X509* FromTop(const STACK_OF(X509)* chain, int fromTop) {
    int position = sk_X509_num(chain) - fromTop;
    return chain && position >= 0 ? sk_X509_value(chain, position) : nullptr;
}

}  // namespace

ConstData GetGatherURLField(const X509* certificate) { return GetSubjectNameField(certificate, "GatherURL:"); }
ConstData GetServerField(const X509* certificate) { return GetSubjectNameField(certificate, "Server:"); }
ConstData GetSitenameField(const X509* certificate) { return GetSubjectNameField(certificate, "Sitename:"); }
ConstData GetTypeField(const X509* certificate) { return GetSubjectNameField(certificate, "Type:"); }

bool IsAdministratorOrUntyped(const X509* certificate) {
    ConstData type = GetTypeField(certificate);
    return type.IsEmpty() || type.View() == std::string_view("Administrator");
}

X509* ChainRoot(const STACK_OF(X509)* chain) { return FromTop(chain, 1); }
X509* ChainRegistrar(const STACK_OF(X509)* chain) { return FromTop(chain, 2); }
X509* ChainSiteCertificate(const STACK_OF(X509)* chain) { return FromTop(chain, 3); }
