// IndirectRevocationPolicy: decides whether a CRL that carries an indirect revocation list (a list
// of another issuer's revoked certificates, inside one of the product's own CRL extensions) speaks
// with authority about a given certificate. The revocation store asks it for every indirect list
// that names the certificate; the policies themselves belong to the signature checks that use them.
#pragma once

#include <openssl/x509.h>

class IndirectRevocationPolicy {
  public:
    virtual ~IndirectRevocationPolicy() = default;
    // Whether the outer CRL may revoke the certificate. May throw; the store then skips that list.
    virtual bool IsAuthoritative(X509* certificate, X509_CRL* outerCRL) const = 0;
};
