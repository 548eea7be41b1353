// The custom-site role PKI (support/test_pki.h, tests/pki/pki-roles.sh) as OpenSSL objects, and
// the revocation lists the role tests need, made here because they carry the product's own extensions.
#pragma once

#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <initializer_list>
#include <string>

#include "crypto/bio_wrappers.h"
#include "crypto/certificate_stacks.h"
#include "crypto/certificates.h"
#include "crypto/own_asn1_types.h"
#include "crypto/own_object_identifiers.h"
#include "crypto/pkcs7_signature_policy.h"
#include "crypto/private_keys.h"
#include "crypto/signature_verification.h"
#include "signing_fixture.h"
#include "support/test_pki.h"

inline constexpr const char* kRoleFixtureSite = "CustomSite_Fixture";

inline std::string RoleFixtureFile(const std::string& name) { return TestPKIFolder() + "/roles/" + name; }

inline X509Holder RoleCertificate(const std::string& name) {
    BIOHolder file = OpenFileBIO(FileLocation(RoleFixtureFile(name + ".pem").c_str()));
    return PEMReadX509(file.Get());
}

inline PrivateKeyHolder RoleKey(const std::string& name) {
    BIOHolder file = OpenFileBIO(FileLocation(RoleFixtureFile(name + ".key").c_str()));
    return ReadPrivateKey(file.Get(), ConstData());
}

inline X509StackHolder StackOf(std::initializer_list<X509*> certificates) {
    X509StackHolder stack = CreateX509Stack();
    for (X509* certificate : certificates) PushX509(stack.Get(), certificate);
    return stack;
}

// Trusts the role PKI's root and accepts every chain that verifies: what the site's masthead policy
// leaves behind, the site certificate's verified chain.
class RoleFixtureMastheadPolicy : public PKCS7SignaturePolicy {
  public:
    RoleFixtureMastheadPolicy() { AddTrustedCertificate(RoleCertificate("root").Get()); }

  protected:
    void AuthorizeChain(const ChainAuthorization&) override {}
};

// The masthead verification of the role PKI's site: one chain, site certificate, registrar, root.
inline std::unique_ptr<SignatureVerification> RoleFixtureMastheadVerification() {
    const std::string content = "masthead of " + std::string(kRoleFixtureSite);
    X509StackHolder carried = StackOf({RoleCertificate("registrar").Get()});
    auto verification = std::make_unique<SignatureVerification>();
    verification->AddMessage(SignContent(content, RoleCertificate("site").Get(), RoleKey("site").Get(), EVP_sha1(),
                                         carried.Get()));
    verification->MatchSigners(*DigestsOf(content));
    RoleFixtureMastheadPolicy policy;
    verification->Authorize(policy);
    verification->Result();
    return verification;
}

// A CRL of the signer, issued in 2024, that revokes nothing itself, carries the supporting
// certificates, and carries an indirect revocation list in which the certificate's issuer revokes it.
inline CRLHolder IndirectlyRevokingCRL(X509* signer, EVP_PKEY* signerKey, const STACK_OF(X509)* supporting,
                                       X509* revoked) {
    KVR_CRL_BODY* inner = KVR_CRL_BODY_new();
    X509_NAME_free(inner->issuer);
    inner->issuer = X509_NAME_dup(X509_get_issuer_name(revoked));
    X509_ALGOR_set0(inner->signature, OBJ_nid2obj(NID_ecdsa_with_SHA256), V_ASN1_UNDEF, nullptr);
    ASN1_TIME_set_string(inner->thisUpdate, "20240101000000Z");
    inner->revoked = sk_X509_REVOKED_new_null();
    X509_REVOKED* entry = X509_REVOKED_new();
    X509_REVOKED_set_serialNumber(entry, X509_get_serialNumber(revoked));
    ASN1_TIME* when = ASN1_TIME_new();
    ASN1_TIME_set_string(when, "20240101000000Z");
    X509_REVOKED_set_revocationDate(entry, when);
    ASN1_TIME_free(when);
    sk_X509_REVOKED_push(inner->revoked, entry);

    X509_CRL* crl = X509_CRL_new();
    X509_CRL_set_version(crl, 1);
    X509_CRL_set_issuer_name(crl, X509_get_subject_name(signer));
    ASN1_TIME* thisUpdate = ASN1_TIME_new();
    ASN1_TIME_set_string(thisUpdate, "20240101000000Z");
    X509_CRL_set1_lastUpdate(crl, thisUpdate);
    ASN1_TIME_free(thisUpdate);
    X509_CRL_add1_ext_i2d(crl, CRLSupportingCertificatesExtension(), const_cast<STACK_OF(X509)*>(supporting), 0,
                          X509V3_ADD_APPEND);
    X509_CRL_add1_ext_i2d(crl, IndirectRevocationExtension(), inner, 0, X509V3_ADD_APPEND);
    KVR_CRL_BODY_free(inner);
    X509_CRL_sign(crl, signerKey, EVP_sha256());
    // Read back from its DER, as a received list would be.
    unsigned char* der = nullptr;
    int length = i2d_X509_CRL(crl, &der);
    X509_CRL_free(crl);
    const unsigned char* cursor = der;
    CRLHolder decoded(d2i_X509_CRL(nullptr, &cursor, length));
    OPENSSL_free(der);
    return decoded;
}
