#include "crypto/encryption_certificate_revocation.h"

#include <gtest/gtest.h>

#include <string>

#include "crypto/openssl_startup.h"
#include "role_fixture.h"

namespace {

class EncryptionCertificateRevocation : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }
};

struct RevokerCase {
    const char* signer;
    std::vector<std::string> supporting;  // the list's supporting certificates, signer first
    bool revokes;
};

// The site's encryption certificate, listed in an indirect revocation list of its issuer (the site
// certificate) that travels in a CRL of each signer.
TEST_F(EncryptionCertificateRevocation, OnlyAListSignedByTheSiteCertificateRevokes) {
    std::unique_ptr<SignatureVerification> masthead = RoleFixtureMastheadVerification();
    X509Holder encryption = RoleCertificate("encryption");
    const RevokerCase cases[] = {
        {"site", {"site"}, true},
        {"site", {"site", "registrar"}, true},
        {"admin", {"admin", "site"}, false},          // an administrator of the site is no site certificate
        {"other-site", {"other-site"}, false},        // a site certificate of another site
        {"registrar", {"registrar"}, false},          // above the site
        {"stranger", {"stranger"}, false},            // its chain does not verify: the list is passed over
    };
    for (const RevokerCase& c : cases) {
        SCOPED_TRACE(c.signer);
        X509StackHolder supporting = CreateX509Stack();
        for (const std::string& name : c.supporting) PushX509(supporting.Get(), RoleCertificate(name).Get());
        CRLHolder crl = IndirectlyRevokingCRL(RoleCertificate(c.signer).Get(), RoleKey(c.signer).Get(),
                                              supporting.Get(), encryption.Get());
        RevocationStore store;
        store.AddCRL(crl.Get(), nullptr);
        ASSERT_EQ(store.Count(), 1u);
        if (c.revokes) {
            EXPECT_THROW(CheckEncryptionCertificateNotIndirectlyRevoked(encryption.Get(), *masthead, store),
                         CertificateIndirectlyRevoked);
        } else {
            EXPECT_NO_THROW(CheckEncryptionCertificateNotIndirectlyRevoked(encryption.Get(), *masthead, store));
        }
        // The list names the encryption certificate only.
        EXPECT_NO_THROW(CheckEncryptionCertificateNotIndirectlyRevoked(RoleCertificate("admin").Get(), *masthead, store));
    }
}

TEST_F(EncryptionCertificateRevocation, AListWithoutSupportingCertificatesSpeaksForNobody) {
    std::unique_ptr<SignatureVerification> masthead = RoleFixtureMastheadVerification();
    X509Holder encryption = RoleCertificate("encryption");
    X509StackHolder none = CreateX509Stack();
    CRLHolder crl = IndirectlyRevokingCRL(RoleCertificate("site").Get(), RoleKey("site").Get(), none.Get(),
                                          encryption.Get());
    EncryptionCertificateRevocationPolicy policy(*masthead);
    EXPECT_FALSE(policy.IsAuthoritative(encryption.Get(), crl.Get()));
}

}  // namespace
