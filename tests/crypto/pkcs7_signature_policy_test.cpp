#include "crypto/pkcs7_signature_policy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/certificate_stores.h"
#include "crypto/openssl_startup.h"
#include "crypto/x509_verify_errors.h"
#include "signing_fixture.h"

namespace {

class AttributeRefused : public DebuggableException {};

// Records the order of the steps; trusts what the test adds.
class RecordingPolicy : public PKCS7SignaturePolicy {
  public:
    std::vector<std::string> steps;
    bool refuseAttributes = false;

  protected:
    void PrepareVerification(PKCS7_SIGNER_INFO*) override {
        steps.push_back("prepare");
        if (refuseAttributes) throw AttributeRefused();
    }
    void AuthorizeChain(const ChainAuthorization& authorization) override {
        steps.push_back("authorize " + std::to_string(sk_X509_num(authorization.chain)));
    }
};

class PKCS7SignaturePolicyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    // The signer of the fixture, matched as the verification would match it; valid until the next call.
    SignerMatch MatchOf(const std::string& fixture) {
        record.Clear();
        record.AddMessage(FixtureSignature(fixture));
        record.MatchSigners(*DigestsOf(FixtureSignedContent()));
        return record.Matches().at(0);
    }

    SignatureVerification record;
    RecordingPolicy policy;
};

TEST_F(PKCS7SignaturePolicyTest, VerifiesPreparesAndAuthorizesInOrder) {
    policy.AddTrustedCertificate(FixtureCertificate("root").Get());
    X509StackHolder chain = policy.VerifySigner(MatchOf("signed-op8-untyped"));
    EXPECT_EQ(sk_X509_num(chain.Get()), 4);
    EXPECT_EQ(policy.steps, (std::vector<std::string>{"prepare", "authorize 4"}));

    // A refused attribute stops the signer before its chain is built.
    policy.steps.clear();
    policy.refuseAttributes = true;
    EXPECT_THROW(policy.VerifySigner(MatchOf("signed-op8-untyped")), AttributeRefused);
    EXPECT_EQ(policy.steps, std::vector<std::string>{"prepare"});
}

TEST_F(PKCS7SignaturePolicyTest, ForgivesValidityPeriodsOnlyWhenAsked) {
    policy.AddTrustedCertificate(FixtureCertificate("root").Get());
    EXPECT_THROW(policy.VerifySigner(MatchOf("signed-op-expired")), X509VerifyError<X509_V_ERR_CERT_HAS_EXPIRED>);
    policy.AcceptValidityErrors();
    EXPECT_EQ(sk_X509_num(policy.VerifySigner(MatchOf("signed-op-expired")).Get()), 4);
    // A broken certificate signature stays an error.
    EXPECT_THROW(policy.VerifySigner(MatchOf("signed-op-badsig")), X509VerifyError<X509_V_ERR_CERT_SIGNATURE_FAILURE>);

    // A new store keeps the forgiveness, and trusts nothing until told.
    policy.ResetTrustedStore();
    EXPECT_THROW(policy.VerifySigner(MatchOf("signed-op-expired")),
                 X509VerifyError<X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY>);
    policy.AddTrustedCertificate(FixtureCertificate("root").Get());
    EXPECT_EQ(sk_X509_num(policy.VerifySigner(MatchOf("signed-op-expired")).Get()), 4);
}

TEST_F(PKCS7SignaturePolicyTest, AddsEachTrustedCertificateOnce) {
    X509Holder root = FixtureCertificate("root");
    policy.AddTrustedCertificate(root.Get());
    policy.AddTrustedCertificate(FixtureCertificate("root").Get());
    EXPECT_EQ(sk_X509_OBJECT_num(X509_STORE_get0_objects(policy.TrustedStore())), 1);
    EXPECT_TRUE(IsCertificateInStore(policy.TrustedStore(), root.Get()));
}

TEST_F(PKCS7SignaturePolicyTest, VerifyWithoutAStoreHasNoTrustedCertificates) {
    EXPECT_THROW(policy.Verify(nullptr, MatchOf("signed-site-sha1")), NoTrustedCertificates);
}

}  // namespace
