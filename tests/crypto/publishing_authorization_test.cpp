#include "crypto/publishing_authorization.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "signing_fixture.h"

namespace {

class PublishingAuthorizationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }
};

TEST_F(PublishingAuthorizationTest, AChainPublishesWhenItsRegistrarAndSiteAreTheMastheads) {
    std::unique_ptr<SignatureVerification> masthead = VerifiedMasthead();
    const std::pair<std::vector<std::string>, bool> cases[] = {
        {{"opsite", "registrar", "root"}, true},
        {{"op8-untyped", "opsite", "registrar", "root"}, true},
        {{"op8-untyped", "opsite-reissued", "registrar", "root"}, true},
        {{"op-admin", "op8-untyped", "opsite", "registrar", "root"}, false},  // 5 certificates
        {{"registrar", "root"}, false},
        {{"other-op", "othersite", "registrar", "root"}, false},
        {{"op8-untyped", "opsite", "registrar-reissued", "root"}, false},  // another common name
        {{"op8-untyped", "opsite", "stranger", "root"}, false},
    };
    for (const auto& [names, expected] : cases) {
        X509StackHolder chain = FixtureCertificateStack(names);
        EXPECT_EQ(IsAuthorizedToPublish(*masthead, chain.Get()), expected) << names[0] << " under " << names[1];
    }
    X509StackHolder other = FixtureCertificateStack({"othersite", "registrar", "root"});
    EXPECT_THROW(RequireAuthorizedToPublish(*masthead, other.Get()), CertificateNotAuthorizedToPublish);
    SignatureVerification noChains;
    X509StackHolder own = FixtureCertificateStack({"opsite", "registrar", "root"});
    EXPECT_FALSE(IsAuthorizedToPublish(noChains, own.Get()));
}

TEST_F(PublishingAuthorizationTest, AReissuedSiteCertificateIsTheSameSiteCertificate) {
    X509Holder site = FixtureCertificate("opsite");
    X509Holder reissued = FixtureCertificate("opsite-reissued");
    X509Holder other = FixtureCertificate("othersite");
    ASSERT_NE(X509_cmp(site.Get(), reissued.Get()), 0);
    EXPECT_TRUE(SameSiteCertificate(site.Get(), reissued.Get()));
    EXPECT_TRUE(SameSiteCertificate(site.Get(), site.Get()));
    EXPECT_FALSE(SameSiteCertificate(site.Get(), other.Get()));
    EXPECT_FALSE(SameSiteCertificate(site.Get(), nullptr));
}

}  // namespace
