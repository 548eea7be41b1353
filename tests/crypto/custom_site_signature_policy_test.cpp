#include "crypto/custom_site_signature_policy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "crypto/reissued_certificates.h"
#include "crypto/revocation_store.h"
#include "role_fixture.h"

namespace {

using Names = std::vector<std::string>;

const std::string kContent = "signed content of the custom site\r\n";
constexpr std::int32_t kOwner = CustomSiteSignaturePolicy::kOwnerRole;
constexpr std::int32_t kOwnerOrUser = CustomSiteSignaturePolicy::kOwnerOrUserRole;

// Content of the role PKI's site signed by one certificate, verified as site gathering does.
class CustomSiteSignaturePolicyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    CustomSiteSignaturePolicyTest() { GetRevocationStore().Clear(); }
    ~CustomSiteSignaturePolicyTest() override { GetReissuedCertificateTable().Replace({}); }

    // "" when the signer is accepted, else the text of the failure that refused it.
    std::string Verdict(const std::string& signer, const std::string& key, const Names& carried, std::int32_t roleKind,
                        const std::vector<FixtureAttribute>& attributes = {}) {
        X509StackHolder certificates = CreateX509Stack();
        for (const std::string& name : carried) PushX509(certificates.Get(), RoleCertificate(name).Get());
        SignatureVerification verification;
        verification.AddMessage(SignContent(kContent, RoleCertificate(signer).Get(), RoleKey(key).Get(), EVP_sha1(),
                                            certificates.Get(), attributes));
        verification.MatchSigners(*DigestsOf(kContent));
        CustomSiteSignaturePolicy policy(*masthead, kRoleFixtureSite, roleKind);
        verification.Authorize(policy);
        try {
            EXPECT_EQ(verification.Result(), 1u);
            return "";
        } catch (const NoAuthorizedSignature& refusal) {
            return refusal.Cause() ? refusal.Cause()->What() : refusal.what();
        }
    }

    std::unique_ptr<SignatureVerification> masthead = RoleFixtureMastheadVerification();
};

struct SignerCase {
    const char* title;
    const char* signer;
    const char* key;
    Names carried;
    std::int32_t roleKind;
    const char* refusal;  // a part of the failure's text; null when accepted
};

TEST_F(CustomSiteSignaturePolicyTest, AcceptsOwnersAndWhereAllowedUsers) {
    const char* unauthorized = "CustomSiteCertificateChainIsUnauthorized";
    const SignerCase cases[] = {
        {"the site certificate", "site", "site", {"registrar"}, kOwner, nullptr},
        {"an administrator", "admin", "admin", {"site"}, kOwner, nullptr},
        {"an untyped operator, the site certificate not carried", "untyped", "untyped", {}, kOwner, nullptr},
        {"a typed operator", "typed", "typed", {"site"}, kOwnerOrUser, unauthorized},
        {"a delegated owner", "typed", "typed", {"typed-owner-by-site", "site"}, kOwner, nullptr},
        {"a delegated user where only owners sign", "typed", "typed", {"typed-user-by-site", "site"}, kOwner,
         unauthorized},
        {"a delegated user where users sign", "typed", "typed", {"typed-user-by-site", "site"}, kOwnerOrUser, nullptr},
        {"a delegation whose issuer is not carried", "typed", "typed", {"typed-owner-by-site"}, kOwner, unauthorized},
        {"a user delegated by an administrator", "typed", "typed", {"typed-user-by-admin", "admin"}, kOwnerOrUser,
         nullptr},
        {"an unknown role kind", "site", "site", {}, 2, unauthorized},
        {"another site's certificate", "other-site", "other-site", {}, kOwnerOrUser, unauthorized},
        {"an expired operator", "expired", "expired", {}, kOwner, nullptr},
        {"a stranger", "stranger", "stranger", {}, kOwnerOrUser, "X509VerifyError"},
    };
    for (const SignerCase& c : cases) {
        SCOPED_TRACE(c.title);
        std::string verdict = Verdict(c.signer, c.key, c.carried, c.roleKind);
        if (c.refusal) {
            EXPECT_NE(verdict.find(c.refusal), std::string::npos) << verdict;
        } else {
            EXPECT_EQ(verdict, "");
        }
    }
}

TEST_F(CustomSiteSignaturePolicyTest, RefusesASignerThatMeantAnotherSite) {
    const int intendedSite = GetIntendedSiteNID();
    EXPECT_EQ(Verdict("admin", "admin", {}, kOwner, {{intendedSite, V_ASN1_OCTET_STRING, kRoleFixtureSite}}), "");
    EXPECT_NE(Verdict("admin", "admin", {}, kOwner, {{intendedSite, V_ASN1_OCTET_STRING, "CustomSite_Other"}})
                  .find("IntendedSiteDoesNotMatch"),
              std::string::npos);
}

TEST_F(CustomSiteSignaturePolicyTest, ChainsThroughTheOtherNameOfAReissuedSiteCertificate) {
    EXPECT_NE(Verdict("reissued-operator", "untyped", {}, kOwner), "");
    std::vector<ReissuedCertificatePair> pairs;
    pairs.push_back({RoleCertificate("site"), RoleCertificate("site-reissued")});
    GetReissuedCertificateTable().Replace(std::move(pairs));
    EXPECT_EQ(Verdict("reissued-operator", "untyped", {}, kOwner), "");
}

TEST_F(CustomSiteSignaturePolicyTest, ARevokedDelegationGrantsNothing) {
    EXPECT_EQ(Verdict("typed", "typed", {"typed-owner-by-site", "site"}, kOwner), "");
    X509StackHolder supporting = StackOf({RoleCertificate("site").Get()});
    CRLHolder crl = IndirectlyRevokingCRL(RoleCertificate("site").Get(), RoleKey("site").Get(), supporting.Get(),
                                          RoleCertificate("typed-owner-by-site").Get());
    GetRevocationStore().AddCRL(crl.Get(), nullptr);
    EXPECT_NE(Verdict("typed", "typed", {"typed-owner-by-site", "site"}, kOwner), "");
    GetRevocationStore().Clear();
}

}  // namespace
