#include "crypto/signature_verification.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "crypto/pkcs7_objects.h"
#include "crypto/revocation_store.h"
#include "crypto/x509_verify_errors.h"
#include "signing_fixture.h"

namespace {

class ChainRefused : public DebuggableException {};

// Trusts the fixture root and accepts every chain that verifies, or refuses each with ChainRefused.
class RootPolicy : public PKCS7SignaturePolicy {
  public:
    explicit RootPolicy(bool refuse = false) : m_refuse(refuse) {
        AddTrustedCertificate(FixtureCertificate("root").Get());
    }
    std::vector<int> chainLengths;

  protected:
    void AuthorizeChain(const ChainAuthorization& authorization) override {
        if (m_refuse) throw ChainRefused();
        chainLengths.push_back(sk_X509_num(authorization.chain));
    }

  private:
    bool m_refuse;
};

class NotPKCS7Policy : public SignatureAcceptancePolicy {};

// The text of the exception Result throws, and the text of its cause ("" for none).
struct Refusal {
    std::string text;
    std::string cause;
};

template <class Expected>
Refusal Refused(SignatureVerification& record) {
    try {
        std::size_t matches = record.Result();
        ADD_FAILURE() << "accepted with " << matches << " matches";
    } catch (const Expected& refusal) {
        return {refusal.what(), refusal.Cause() ? refusal.Cause()->What() : ""};
    }
    return {};
}

class SignatureVerificationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    void Add(const std::string& fixture) { record.AddMessage(FixtureSignature(fixture)); }
    void Match() { record.MatchSigners(*DigestsOf(FixtureSignedContent())); }

    SignatureVerification record;
    RootPolicy policy;
};

struct AcceptedCase {
    const char* name;
    std::vector<std::string> fixtures;
    std::uint32_t digests;
    std::size_t matches;
    std::vector<int> chainLengths;
};

TEST_F(SignatureVerificationTest, AcceptsSignersWhoseChainsVerify) {
    const std::uint32_t both = DualHashReceiver::kFirstDigest | DualHashReceiver::kContentDigest;
    const AcceptedCase cases[] = {
        {"site, SHA-1", {"signed-site-sha1"}, DualHashReceiver::kContentDigest, 1, {3}},
        {"site, MD5", {"signed-site-md5"}, both, 1, {3}},
        {"operator", {"signed-op8-untyped"}, DualHashReceiver::kContentDigest, 1, {4}},
        {"bad signer, then good, one message", {"signed-bad-then-good"}, DualHashReceiver::kContentDigest, 2, {4}},
        {"signature over other content, then good", {"signed-other-content", "signed-op8-untyped"},
         DualHashReceiver::kContentDigest, 1, {4}},
        {"two signature parts, one signer each", {"signed-other-op", "signed-site-sha1"}, DualHashReceiver::kContentDigest, 2, {4, 3}},
    };
    for (const AcceptedCase& c : cases) {
        SCOPED_TRACE(c.name);
        SignatureVerification fresh;
        RootPolicy accepting;
        for (const std::string& fixture : c.fixtures) fresh.AddMessage(FixtureSignature(fixture));
        fresh.MatchSigners(*DigestsOf(FixtureSignedContent(), c.digests));
        fresh.Authorize(accepting);
        EXPECT_EQ(fresh.Result(), c.matches);
        EXPECT_EQ(fresh.Chains().size(), c.chainLengths.size());
        EXPECT_EQ(accepting.chainLengths, c.chainLengths);
    }
}

TEST_F(SignatureVerificationTest, SignersOfOtherDigestsAreNeverMatched) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"signed-site-sha256", DualHashReceiver::kFirstDigest | DualHashReceiver::kContentDigest},
        {"signed-site-md5", DualHashReceiver::kContentDigest},
        {"signed-site-sha1", DualHashReceiver::kFirstDigest},
    };
    for (const auto& [fixture, digests] : cases) {
        SCOPED_TRACE(fixture);
        SignatureVerification fresh;
        fresh.AddMessage(FixtureSignature(fixture));
        fresh.MatchSigners(*DigestsOf(FixtureSignedContent(), digests));
        fresh.Authorize(policy);
        EXPECT_TRUE(fresh.Matches().empty());
        EXPECT_EQ(fresh.LastFailure(), nullptr);
        EXPECT_THROW(fresh.Result(), NoVerifiedSignature);
    }
}

TEST_F(SignatureVerificationTest, ASignatureWithoutCertificatesNeedsExtraCertificates) {
    Add("signed-site-nocerts");
    Match();
    EXPECT_EQ(Refused<NoVerifiedSignature>(record).text, "class NoVerifiedSignature");

    SignatureVerification given;
    given.SetExtraCertificates(FixtureCertificateStack({"opsite", "registrar"}));
    given.AddMessage(FixtureSignature("signed-site-nocerts"));
    given.MatchSigners(*DigestsOf(FixtureSignedContent()));
    given.Authorize(policy);
    EXPECT_EQ(given.Result(), 1u);
}

TEST_F(SignatureVerificationTest, TamperedContentIsReportedAsTheFailedSignature) {
    Add("signed-site-sha1");
    record.MatchSigners(*DigestsOf(FixtureSignedContent() + "x"));
    record.Authorize(policy);
    Refusal refusal = Refused<NoAuthorizedSignature>(record);
    EXPECT_NE(refusal.cause.find("class PKCS7SignatureVerifyFailed"), std::string::npos) << refusal.cause;
    EXPECT_EQ(refusal.text, "class NoAuthorizedSignature (" + refusal.cause + ")");
}

TEST_F(SignatureVerificationTest, RefusalsNameTheLastFailureOnce) {
    const std::pair<const char*, bool> cases[] = {
        {"signed-site-sha1", true},    // the policy refuses the chain
        {"signed-op-badsig", false},   // the signer's certificate signature is broken
        {"signed-op-revoked", false},  // opsite's CRL, carried in the message, revokes the signer
    };
    const char* causes[] = {"ChainRefused", "class X509VerifyError<7>", "class CertificateRevoked"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].first);
        SignatureVerification fresh;
        RootPolicy chosen(cases[i].second);
        PKCS7Holder message = FixtureSignature(cases[i].first);
        AddCRLToSignature(message.Get(), FixtureCRL("opsite").Get());
        fresh.AddMessage(std::move(message));
        fresh.MatchSigners(*DigestsOf(FixtureSignedContent()));
        fresh.Authorize(chosen);
        Refusal refusal = Refused<NoAuthorizedSignature>(fresh);
        EXPECT_NE(refusal.cause.find(causes[i]), std::string::npos) << refusal.cause;
        EXPECT_EQ(refusal.text, "class NoAuthorizedSignature (" + refusal.cause + ")");
        // Result took the failure out of the record: a second Result reports the bare outcome.
        EXPECT_EQ(Refused<NoAuthorizedSignature>(fresh).text, "class NoAuthorizedSignature");
    }
}

TEST_F(SignatureVerificationTest, AnotherKindOfPolicyAuthorizesNothing) {
    Add("signed-site-sha1");
    Match();
    NotPKCS7Policy other;
    record.Authorize(other);
    EXPECT_EQ(Refused<NoAuthorizedSignature>(record).text, "class NoAuthorizedSignature");
}

// Chains belong to the matching and authorising they came from: neither a later Authorize nor a later
// MatchSigners may let them satisfy Result.
TEST_F(SignatureVerificationTest, StaleChainsNeverSatisfyResult) {
    const std::pair<const char*, std::function<void(SignatureVerification&)>> cases[] = {
        {"authorised again by another kind of policy", [](SignatureVerification& r) {
             NotPKCS7Policy other;
             r.Authorize(other);
         }},
        {"authorised again by a refusing policy", [](SignatureVerification& r) {
             RootPolicy refusing(true);
             r.Authorize(refusing);
         }},
        {"matched again against other content", [](SignatureVerification& r) {
             r.MatchSigners(*DigestsOf("other content"));
         }},
    };
    for (const auto& [name, again] : cases) {
        SCOPED_TRACE(name);
        SignatureVerification fresh;
        fresh.AddMessage(FixtureSignature("signed-site-sha1"));
        fresh.MatchSigners(*DigestsOf(FixtureSignedContent()));
        fresh.Authorize(policy);
        ASSERT_EQ(fresh.Chains().size(), 1u);
        again(fresh);
        EXPECT_TRUE(fresh.Chains().empty());
        EXPECT_THROW(fresh.Result(), NoAuthorizedSignature);
    }
}

TEST_F(SignatureVerificationTest, KeepsOnlyDetachedSignedDataAndMergesItsCRLs) {
    X509Holder opsite = FixtureCertificate("opsite");
    PrivateKeyHolder key = FixtureKey("opsite");
    X509StackHolder chain = FixtureCertificateStack({"registrar"});
    PKCS7Holder inside = SignContent(FixtureSignedContent(), opsite.Get(), key.Get(), EVP_sha1(), chain.Get(), {}, false);
    AddCRLToSignature(inside.Get(), FixtureCRL("opsite").Get());
    PKCS7Holder enveloped = CreatePKCS7();
    PKCS7SetType(enveloped.Get(), NID_pkcs7_enveloped);
    RevocationStore& revocations = GetRevocationStore();
    revocations.Clear();

    record.AddMessage(PKCS7Holder());
    record.AddMessage(std::move(inside));
    record.AddMessage(std::move(enveloped));
    EXPECT_TRUE(record.Messages().empty());
    EXPECT_TRUE(revocations.IsEmpty());

    PKCS7Holder detached = FixtureSignature("signed-site-sha1");
    AddCRLToSignature(detached.Get(), FixtureCRL("opsite").Get());
    record.AddMessage(std::move(detached));
    EXPECT_EQ(record.Messages().size(), 1u);
    EXPECT_EQ(revocations.Count(), 1u);
    revocations.Clear();
}

TEST_F(SignatureVerificationTest, ClearKeepsTheLastFailure) {
    Add("signed-op-badsig");
    Match();
    record.Authorize(policy);
    record.Clear();
    EXPECT_TRUE(record.Messages().empty());
    EXPECT_TRUE(record.Matches().empty());
    Refusal refusal = Refused<NoAuthorizedSignature>(record);
    EXPECT_EQ(refusal.cause, "class X509VerifyError<7>");
}

// A copy must stand on its own: the source is destroyed before the copy is used.
TEST_F(SignatureVerificationTest, ACopyKeepsMatchesAndChainsOfItsOwn) {
    struct Case {
        const char* name;
        const char* fixture;
        std::vector<std::string> extra;  // none: no extra certificates
    };
    const Case cases[] = {
        {"candidates are the message's own", "signed-op8-untyped", {}},
        {"candidates are the extra certificates", "signed-site-nocerts", {"opsite", "registrar"}},
        {"candidates are merged", "signed-op8-untyped", {"root"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto source = std::make_unique<SignatureVerification>();
        if (!c.extra.empty()) source->SetExtraCertificates(FixtureCertificateStack(c.extra));
        source->AddMessage(FixtureSignature(c.fixture));
        source->MatchSigners(*DigestsOf(FixtureSignedContent()));
        source->Authorize(policy);
        ASSERT_EQ(source->Result(), 1u);

        SignatureVerification copy(*source);
        int chainLength = sk_X509_num(source->Chains().at(0).Get());
        source.reset();

        ASSERT_EQ(copy.Matches().size(), 1u);
        ASSERT_EQ(copy.Chains().size(), 1u);
        EXPECT_EQ(sk_X509_num(copy.Chains()[0].Get()), chainLength);
        const SignerMatch& match = copy.Matches()[0];
        EXPECT_EQ(match.signerInfo, sk_PKCS7_SIGNER_INFO_value(copy.Messages().at(0).Get()->d.sign->signer_info, 0));
        EXPECT_TRUE(IssuerAndSerialMatches(match.signerInfo, match.certificate));
        // The copied matches are authorised again as they stand, then matched afresh.
        copy.Authorize(policy);
        EXPECT_EQ(copy.Result(), 1u);
        copy.MatchSigners(*DigestsOf(FixtureSignedContent()));
        copy.Authorize(policy);
        EXPECT_EQ(copy.Result(), 1u);
    }
}

}  // namespace
