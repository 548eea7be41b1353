#include "crypto/file_list_signature_policy.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "crypto/own_object_identifiers.h"
#include "crypto/publishing_authorization.h"
#include "crypto/signature_verification.h"
#include "crypto/signed_attributes.h"
#include "signing_fixture.h"
#include "support/program_runner.h"

namespace {

// The site gathering's policy for a site: role check on, the operator number of "opsite<N>".
FileListSignaturePolicy PolicyForSite(std::uint32_t operatorNumber) {
    return FileListSignaturePolicy(true, operatorNumber, operatorNumber != 0, false);
}

// "" when the file list's signature is accepted, else the text of the refusal's cause.
std::string Verdict(PKCS7Holder signature, FileListSignaturePolicy& policy) {
    SignatureVerification fileList;
    fileList.AddMessage(std::move(signature));
    fileList.MatchSigners(*DigestsOf(FixtureSignedContent()));
    fileList.Authorize(policy);
    try {
        fileList.Result();
        return "";
    } catch (const NoAuthorizedSignature& refusal) {
        return refusal.Cause() ? refusal.Cause()->What() : refusal.what();
    }
}

class FileListSignaturePolicyTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeOpenSSL(false);
        masthead = VerifiedMasthead().release();
    }
    static void TearDownTestSuite() { delete masthead; }

    static SignatureVerification* masthead;
};

SignatureVerification* FileListSignaturePolicyTest::masthead = nullptr;

struct SignerCase {
    const char* fixture;
    std::uint32_t operatorNumber;  // of the site "opsite<N>"; 0 for a site of another name
    const char* refusal;           // "" when accepted
};

TEST_F(FileListSignaturePolicyTest, OperatorsSignAsTheirSerialAndTypeAllow) {
    const SignerCase cases[] = {
        {"signed-site-sha1", 7, ""},                    // the site certificate itself
        {"signed-site-sha1", 0, ""},
        {"signed-op7-typed", 7, ""},                    // typed, but the operator of "opsite7"
        {"signed-op8-typed", 7, "class FileListSignatureAuthorizationDenied"},
        {"signed-op8-untyped", 7, ""},
        {"signed-op8-typed", 8, ""},
        {"signed-op7-typed", 0, "class FileListSignatureAuthorizationDenied"},  // no serial to match
        {"signed-op-admin", 7, ""},
        {"signed-op-lower-admin", 7, "class FileListSignatureAuthorizationDenied"},
        // Serial 0x0100000007 reads 7 in its low 32 bits, and is still not operator 7.
        {"signed-op-long-serial", 7, "class FileListSignatureAuthorizationDenied"},
        {"signed-other-op", 7, "class CertificateNotAuthorizedToPublish"},
        {"signed-op-expired", 7, ""},
        {"signed-op-badsig", 7, "class X509VerifyError<7>"},
    };
    for (const SignerCase& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + " for opsite" + std::to_string(c.operatorNumber));
        FileListSignaturePolicy policy = PolicyForSite(c.operatorNumber);
        policy.SetMastheadVerification(*masthead);
        EXPECT_EQ(Verdict(FixtureSignature(c.fixture), policy), c.refusal);
    }
}

TEST_F(FileListSignaturePolicyTest, WithoutTheRoleCheckAnyChainOfTheSiteSigns) {
    for (const char* fixture : {"signed-op8-typed", "signed-op-lower-admin", "signed-op-long-serial"}) {
        SCOPED_TRACE(fixture);
        FileListSignaturePolicy policy(false, 7, true, false);
        policy.SetMastheadVerification(*masthead);
        EXPECT_EQ(Verdict(FixtureSignature(fixture), policy), "");
    }
}

TEST_F(FileListSignaturePolicyTest, RefusesUntilBoundToAMastheadWithChains) {
    FileListSignaturePolicy unbound = PolicyForSite(7);
    unbound.AddTrustedCertificate(FixtureCertificate("root").Get());
    EXPECT_EQ(Verdict(FixtureSignature("signed-op8-untyped"), unbound), "class NoMastheadSignatureAvailable");

    // A masthead whose record holds no chains trusts nothing: the signer's chain cannot be built.
    SignatureVerification empty;
    FileListSignaturePolicy emptyBound = PolicyForSite(7);
    emptyBound.SetMastheadVerification(empty);
    EXPECT_EQ(Verdict(FixtureSignature("signed-op8-untyped"), emptyBound), "class X509VerifyError<20>");
}

// The trusted store may be filled from elsewhere; the chain must still belong to the masthead's site.
TEST_F(FileListSignaturePolicyTest, AMastheadWithoutChainsAuthorizesNoChain) {
    SignatureVerification empty;
    FileListSignaturePolicy policy = PolicyForSite(7);
    policy.SetMastheadVerification(empty);
    policy.AddTrustedCertificate(FixtureCertificate("root").Get());
    EXPECT_EQ(Verdict(FixtureSignature("signed-op8-untyped"), policy), "class CertificateNotAuthorizedToPublish");
}

TEST_F(FileListSignaturePolicyTest, ChecksTheSignersAttributesWhenAsked) {
    const FixtureAttribute refused{GetActionAuthorizedNID(), V_ASN1_BOOLEAN, ""};
    const FixtureAttribute allowed{GetActionAuthorizedNID(), V_ASN1_BOOLEAN, "yes"};
    const FixtureAttribute meantOpsite7{GetIntendedSiteNID(), V_ASN1_OCTET_STRING, "opsite7"};
    const FixtureAttribute meantOther{GetIntendedSiteNID(), V_ASN1_OCTET_STRING, "othersite"};
    struct Case {
        const char* name;
        bool checkAction;
        std::optional<std::string> intendedSite;
        std::vector<FixtureAttribute> attributes;
        const char* refusal;
    };
    const Case cases[] = {
        {"action refused, checked", true, std::nullopt, {refused}, "class ActionAuthorizationDenied"},
        {"action refused, not checked", false, std::nullopt, {refused}, ""},
        {"action allowed", true, std::nullopt, {allowed}, ""},
        {"no action attribute", true, std::nullopt, {}, ""},
        {"meant this site", false, "opsite7", {meantOpsite7}, ""},
        {"meant another site", false, "opsite7", {meantOther}, "class IntendedSiteDoesNotMatch"},
        {"meant no site", false, "opsite7", {}, ""},
        {"meant another site, not checked", false, std::nullopt, {meantOther}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileListSignaturePolicy policy(true, 7, true, c.checkAction, c.intendedSite);
        policy.SetMastheadVerification(*masthead);
        EXPECT_EQ(Verdict(SignAsFixture("op8-untyped", c.attributes), policy), c.refusal);
    }
}

// A masthead record may hold a chain too short to name a site certificate; it is passed over and the
// other chains still count.
TEST_F(FileListSignaturePolicyTest, AShortMastheadChainDoesNotDisableThePolicy) {
    SignatureVerification mixed;
    // The root's own signature (chain of 1) first, then the site's.
    X509Holder root = FixtureCertificate("root");
    mixed.AddMessage(SignContent(FixtureSignedContent(), root.Get(), FixtureKey("root").Get(), EVP_sha1(), nullptr));
    mixed.AddMessage(FixtureSignature("signed-site-sha1"));
    mixed.MatchSigners(*DigestsOf(FixtureSignedContent()));
    MastheadTestPolicy accepting;
    mixed.Authorize(accepting);
    ASSERT_EQ(mixed.Chains().size(), 2u);
    ASSERT_EQ(sk_X509_num(mixed.Chains()[0].Get()), 1);

    FileListSignaturePolicy policy = PolicyForSite(7);
    policy.SetMastheadVerification(mixed);
    EXPECT_EQ(Verdict(FixtureSignature("signed-op7-typed"), policy), "");
    EXPECT_TRUE(IsAuthorizedToPublish(mixed, VerifiedMasthead()->Chains()[0].Get()));
}

// Every signature this policy accepts is one the openssl command line accepts too (validity periods
// forgiven where the policy forgives them).
TEST_F(FileListSignaturePolicyTest, AcceptedFixturesVerifyWithTheCommandLine) {
    const std::pair<const char*, bool> accepted[] = {
        {"signed-site-sha1", false}, {"signed-site-md5", false},    {"signed-op7-typed", false},
        {"signed-op8-untyped", false}, {"signed-op-admin", false},  {"signed-op-expired", true},
    };
    const std::string folder = TestPKIFolder();
    for (const auto& [fixture, expired] : accepted) {
        SCOPED_TRACE(fixture);
        std::vector<std::string> arguments = {"smime", "-verify", "-in", folder + "/" + fixture + ".smime",
                                              "-CAfile", folder + "/root.pem", "-out", "/dev/null"};
        if (expired) arguments.push_back("-no_check_time");
        ProgramRun run = RunProgram("openssl", arguments);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        arguments = {"smime", "-verify", "-inform", "DER", "-in", folder + "/" + fixture + ".p7s", "-content",
                     folder + "/filelist.txt", "-CAfile", folder + "/root.pem", "-out", "/dev/null"};
        if (expired) arguments.push_back("-no_check_time");
        run = RunProgram("openssl", arguments);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
    }
}

}  // namespace
