#include "crypto/delegated_roles.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "crypto/certificate_stores.h"
#include "crypto/custom_site_role_policy.h"
#include "crypto/openssl_startup.h"
#include "crypto/revocation_store.h"
#include "role_fixture.h"

namespace {

using Names = std::vector<std::string>;

// The role check of the role PKI's site, with the policy a custom-site signature policy builds: the
// site's masthead verification and a store trusting its root, registrar and site certificate. The
// process-wide revocation store starts and ends empty.
class DelegatedRolesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    DelegatedRolesTest() {
        for (const char* name : {"root", "registrar", "site"}) AddCertificateToStore(store.Get(), Get(name));
        X509_STORE_set_verify_cb(store.Get(), IgnoreValidityPeriodCallback);
        GetRevocationStore().Clear();
    }
    ~DelegatedRolesTest() override { GetRevocationStore().Clear(); }

    X509* Get(const std::string& name) {
        auto found = certificates.find(name);
        if (found == certificates.end()) found = certificates.emplace(name, RoleCertificate(name)).first;
        return found->second.Get();
    }

    X509StackHolder Stack(const Names& names) {
        X509StackHolder stack = CreateX509Stack();
        for (const std::string& name : names) PushX509(stack.Get(), Get(name));
        return stack;
    }

    // The signer's verified chain: the certificate up to the root.
    X509StackHolder ChainOf(const std::string& signer) {
        if (signer == "site" || signer == "other-site") return Stack({signer, "registrar", "root"});
        return Stack({signer, "site", "registrar", "root"});
    }

    bool Holds(const Role& role, const std::string& signer, const Names& candidates) {
        X509StackHolder chain = ChainOf(signer);
        X509StackHolder given = Stack(candidates);
        return CheckRole(role, policy, chain.Get(), given.Get());
    }

    // Puts a CRL of the signer, carrying the supporting certificates, that revokes the certificate
    // through an indirect list, into the process-wide store.
    void RevokeIndirectly(const std::string& certificate, const std::string& signer, const Names& supporting) {
        X509StackHolder carried = Stack(supporting);
        CRLHolder crl = IndirectlyRevokingCRL(Get(signer), RoleKey(signer).Get(), carried.Get(), Get(certificate));
        GetRevocationStore().AddCRL(crl.Get(), nullptr);
        ASSERT_FALSE(GetRevocationStore().IsEmpty());
    }

    std::map<std::string, X509Holder> certificates;
    std::unique_ptr<SignatureVerification> masthead = RoleFixtureMastheadVerification();
    TrustedStoreHolder store = NewTrustedStore();
    CustomSiteRoleAuthorizationPolicy policy{*masthead, store.Get()};
    const Role owner = CustomSiteOwnerRole(kRoleFixtureSite);
    const Role user = CustomSiteUserRole(kRoleFixtureSite);
};

struct RoleCase {
    const char* title;
    bool owner;  // else the user role
    const char* signer;
    Names candidates;
    bool held;
};

TEST_F(DelegatedRolesTest, GrantsARoleByTheChainOrByADelegatingCertificate) {
    const RoleCase cases[] = {
        {"the site certificate", true, "site", {}, true},
        {"an administrator", true, "admin", {}, true},
        {"an untyped operator", true, "untyped", {}, true},
        {"an untyped operator, the user role", false, "untyped", {}, true},
        {"a typed operator by itself", true, "typed", {}, false},
        {"a typed operator by itself, the user role", false, "typed", {}, false},
        {"another site's certificate, before any role test", true, "other-site", {"typed-owner-by-site", "site"}, false},

        {"owner delegated by the site", true, "typed", {"typed-owner-by-site", "site"}, true},
        {"the same, candidates in another order", true, "typed", {"site", "typed", "typed-owner-by-site"}, true},
        {"user delegated by the site", false, "typed", {"typed-user-by-site", "site"}, true},
        {"an owner delegation grants only the owner role", false, "typed", {"typed-owner-by-site", "site"}, false},
        {"a user delegation grants only the user role", true, "typed", {"typed-user-by-site", "site"}, false},
        {"user delegated by an administrator's end-entity certificate", false, "typed",
         {"typed-user-by-admin", "admin"}, true},
        {"delegated under another subject name", true, "second", {"typed-owner-by-site", "site"}, false},
        {"delegated under the signer's subject name", false, "second", {"typed-user-as-second", "site"}, true},
        {"the site name in another case", true, "typed", {"typed-owner-lower-case", "site"}, false},
        {"the site name as a UTF8String", true, "typed", {"typed-owner-utf8", "site"}, false},
        {"a critical role extension", true, "typed", {"typed-owner-critical", "site"}, false},
        {"the issuer not among the candidates", true, "typed", {"typed-owner-by-site"}, false},
        {"an issuer of another site", true, "typed", {"typed-owner-by-other", "other-site"}, false},
        {"an issuer whose chain does not verify", true, "typed", {"typed-owner-by-stranger", "stranger"}, false},

        {"user delegated by an operator without the owner role", false, "second", {"second-user-by-typed", "typed"},
         false},
        {"user delegated by an operator who holds the owner role by delegation", false, "second",
         {"second-user-by-typed", "typed", "typed-owner-by-site", "site"}, true},
        {"owner delegated by a delegated owner", true, "second",
         {"second-owner-by-typed", "typed", "typed-owner-by-site", "site"}, false},
    };
    for (const RoleCase& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Holds(c.owner ? owner : user, c.signer, c.candidates), c.held);
    }
}

TEST_F(DelegatedRolesTest, OtherSitesAndUnknownRolesAreNeverGranted) {
    EXPECT_FALSE(Holds(CustomSiteOwnerRole("CustomSite_Other"), "typed", {"typed-owner-by-site", "site"}));
    X509StackHolder siteChain = ChainOf("site");
    EXPECT_FALSE(policy.IsRoleGranted(Role{GetRoleNID(), kRoleFixtureSite}, siteChain.Get()));
    EXPECT_TRUE(policy.IsRoleGranted(owner, siteChain.Get()));
}

TEST_F(DelegatedRolesTest, ADelegationRevokedByItsIssuerGrantsNothing) {
    CRLHolder crl = DirectlyRevokingCRL(Get("site"), RoleKey("site").Get(), Get("typed-owner-by-site"));
    X509StackHolder signers = Stack({"site"});
    GetRevocationStore().AddCRL(crl.Get(), signers.Get());
    EXPECT_FALSE(Holds(owner, "typed", {"typed-owner-by-site", "site"}));
    EXPECT_TRUE(Holds(user, "typed", {"typed-user-by-site", "site"}));
}

TEST_F(DelegatedRolesTest, ADelegatorWhoseChainIsRevokedGrantsNothing) {
    CRLHolder crl = DirectlyRevokingCRL(Get("site"), RoleKey("site").Get(), Get("admin"));
    X509StackHolder signers = Stack({"site"});
    GetRevocationStore().AddCRL(crl.Get(), signers.Get());
    EXPECT_FALSE(Holds(user, "typed", {"typed-user-by-admin", "admin"}));
    X509StackHolder candidates = Stack({"typed-user-by-admin", "admin"});
    EXPECT_THROW(BuildDelegatingIssuerChain(Get("typed-user-by-admin"), candidates.Get(), store.Get()),
                 CertificateRevoked);
}

struct RevokerCase {
    const char* title;
    const char* revoked;
    const char* signer;
    Names supporting;
    bool owner;  // the role whose delegation is tested, else the user role
    const char* holder;
    Names candidates;
    bool held;
};

TEST_F(DelegatedRolesTest, AnIndirectRevocationCountsOnlyFromARevokerOfTheSite) {
    const RevokerCase cases[] = {
        {"the site certificate revokes an owner delegation", "typed-owner-by-site", "site", {"site"}, true, "typed",
         {"typed-owner-by-site", "site"}, false},
        {"an administrator revokes it", "typed-owner-by-site", "admin", {"admin", "site"}, true, "typed",
         {"typed-owner-by-site", "site"}, false},
        {"a typed operator without the owner role does not", "typed-owner-by-site", "second", {"second", "site"}, true,
         "typed", {"typed-owner-by-site", "site"}, true},
        {"another site's certificate does not", "typed-owner-by-site", "other-site", {"other-site"}, true, "typed",
         {"typed-owner-by-site", "site"}, true},
        {"a stranger does not", "typed-owner-by-site", "stranger", {"stranger"}, true, "typed",
         {"typed-owner-by-site", "site"}, true},
        {"a delegated owner revokes a user delegation", "typed-user-as-second", "typed",
         {"typed", "typed-owner-by-site", "site"}, false, "second", {"typed-user-as-second", "site"}, false},
        {"an operator without the owner role does not", "typed-user-as-second", "typed", {"typed", "site"}, false,
         "second", {"typed-user-as-second", "site"}, true},
        {"a revocation names one delegation only", "typed-owner-by-site", "site", {"site"}, false, "typed",
         {"typed-user-by-site", "site"}, true},
    };
    for (const RevokerCase& c : cases) {
        SCOPED_TRACE(c.title);
        GetRevocationStore().Clear();
        RevokeIndirectly(c.revoked, c.signer, c.supporting);
        EXPECT_EQ(Holds(c.owner ? owner : user, c.holder, c.candidates), c.held);
    }
}

}  // namespace
