#include "crypto/certificate_issuers.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "role_fixture.h"

namespace {

class CertificateIssuersTest : public ::testing::Test {
  protected:
    X509* Get(const std::string& name) {
        auto found = certificates.find(name);
        if (found == certificates.end()) found = certificates.emplace(name, RoleCertificate(name)).first;
        return found->second.Get();
    }

    std::map<std::string, X509Holder> certificates;
};

struct IssuerCase {
    const char* certificate;
    const char* candidate;
    bool issued;
};

TEST_F(CertificateIssuersTest, AcceptAnIssuerWhoseKeyVerifiesTheCertificate) {
    const IssuerCase cases[] = {
        {"typed-owner-by-site", "site", true},
        {"site", "registrar", true},
        // An operator's end-entity certificate whose key usage forbids certificate signing.
        {"typed-user-by-admin", "admin", true},
        {"typed-owner-by-site", "admin", false},
        {"typed-owner-by-site", "other-site", false},
        {"typed-owner-by-site", "typed-owner-by-site", false},
        {"second-user-by-typed", "typed", true},
        // The delegating certificate carries the subject of "typed" but not its key.
        {"second-user-by-typed", "typed-owner-by-site", false},
    };
    for (const IssuerCase& c : cases) {
        SCOPED_TRACE(std::string(c.certificate) + " by " + c.candidate);
        EXPECT_EQ(IsIssuedBy(Get(c.certificate), Get(c.candidate)), c.issued);
    }
    EXPECT_FALSE(IsIssuedBy(nullptr, Get("site")));
    EXPECT_FALSE(IsIssuedBy(Get("typed"), nullptr));
}

TEST_F(CertificateIssuersTest, FindTheFirstIssuerAmongTheCandidates) {
    X509StackHolder candidates = StackOf({Get("typed-owner-by-site"), Get("admin"), Get("typed"), Get("site")});
    EXPECT_EQ(FindIssuerIn(Get("typed-owner-by-site"), candidates.Get()), Get("site"));
    EXPECT_EQ(FindIssuerIn(Get("typed-user-by-admin"), candidates.Get()), Get("admin"));
    EXPECT_EQ(FindIssuerIn(Get("second-user-by-typed"), candidates.Get()), Get("typed"));
    EXPECT_EQ(FindIssuerIn(Get("typed-owner-by-other"), candidates.Get()), nullptr);
    EXPECT_EQ(FindIssuerIn(Get("typed-owner-by-site"), nullptr), nullptr);
}

}  // namespace
