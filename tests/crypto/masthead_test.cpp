#include "crypto/masthead.h"

#include <gtest/gtest.h>

#include <fstream>

#include "crypto/masthead_encryption_certificate.h"
#include "crypto/signature_verification.h"
#include "crypto/masthead_fixture.h"
#include "support/temporary_folder.h"

namespace {

class MastheadTest : public MastheadFixtureTest {};

TEST_F(MastheadTest, AnActionMastheadWithAllItsParts) {
    Masthead masthead;
    masthead.Load(MastheadFixture("action.azqm"), MastheadKind::kActionOnly);
    const MastheadHeaderSet& headers = masthead.Headers();
    EXPECT_EQ(headers.GatherURL.Text(), kFixtureActionURL);
    EXPECT_EQ(headers.SiteName.Text(), "ActionSite");
    EXPECT_EQ(headers.Organization.Text(), "Fixture Org");
    EXPECT_EQ(headers.UpdateFrequency, 1'209'600'000'000u);
    EXPECT_EQ(headers.SerialNumber, 12u);
    EXPECT_EQ(headers.VersionComparison, MastheadVersion::kEqual);
    EXPECT_EQ(headers.RequireFipsCryptography, 0u);
    ASSERT_EQ(masthead.Operators().size(), 1u);
    EXPECT_EQ(masthead.Operators()[0].CommonName, "Fixture Operator");
    EXPECT_TRUE(masthead.Operators()[0].ActionsEnabled);
    EXPECT_EQ(masthead.PlainText(), "This is the fixture site.");
    EXPECT_FALSE(masthead.PartLocations().EncryptionCertificate.IsEmpty());
    ASSERT_NE(masthead.Verification(), nullptr);
    ASSERT_EQ(masthead.Verification()->Chains().size(), 1u);
    EXPECT_EQ(sk_X509_num(masthead.Verification()->Chains()[0].Get()), 3);
}

TEST_F(MastheadTest, WhichMastheadsAreAccepted) {
    struct Case {
        const char* file;
        unsigned kinds;
        std::string failure;  // empty: accepted
    };
    const std::string unacceptable = "class NoAuthorizedSignature (class UnacceptableMastheadType)";
    const Case cases[] = {
        {"action.azqm", MastheadKind::kActionOnly, ""},
        {"action.azqm", MastheadKind::kAction, ""},
        {"action.azqm", MastheadKind::kActionAlso, ""},
        {"action-lowercase.azqm", MastheadKind::kActionOnly, ""},
        {"action-nested.azqm", MastheadKind::kActionOnly, ""},
        {"demo.ezqm", MastheadKind::kDaruravidu, ""},
        {"demo.ezqm", MastheadKind::kDaruraviduOrAction, ""},
        {"consumer-operator.azqm", MastheadKind::kConsumer, ""},
        // The kinds a reader does not accept.
        {"action.azqm", MastheadKind::kDaruravidu | MastheadKind::kConsumer, unacceptable},
        {"demo.ezqm", MastheadKind::kActionOnly, unacceptable},
        // A chain of 4 passes the consumer rule only.
        {"consumer-operator.azqm", MastheadKind::kDaruraviduOrAction, unacceptable},
        {"action-operator.azqm", MastheadKind::kDaruraviduOrAction | MastheadKind::kConsumer, unacceptable},
        // An action masthead's gather URL must name the site certificate's server.
        {"action-nohost.azqm", MastheadKind::kActionOnly, unacceptable},
        {"action-mixed.azqm", MastheadKind::kActionOnly, "class NotAMasthead"},
        {"action.content", MastheadKind::kActionOnly, "class NotASignedMessage"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " kinds " + std::to_string(c.kinds));
        Masthead masthead;
        EXPECT_EQ(FailureOf([&] { masthead.Load(MastheadFixture(c.file), c.kinds); }), c.failure);
    }
}

TEST_F(MastheadTest, ForgedOrUntrustedMastheadsAreRefused) {
    for (const char* file : {"action-tampered.azqm", "action-stranger.azqm"}) {
        Masthead masthead;
        EXPECT_THROW(masthead.Load(MastheadFixture(file), MastheadKind::kActionOnly), NoAuthorizedSignature) << file;
    }
}

TEST_F(MastheadTest, AFailedLoadKeepsTheRecordItHad) {
    Masthead masthead;
    masthead.Load(MastheadFixture("action.azqm"), MastheadKind::kActionOnly);
    EXPECT_ANY_THROW(masthead.Load(MastheadFixture("action-tampered.azqm"), MastheadKind::kActionOnly));
    EXPECT_EQ(masthead.Headers().GatherURL.Text(), kFixtureActionURL);
    EXPECT_EQ(masthead.Operators().size(), 1u);

    Masthead empty;
    EXPECT_ANY_THROW(empty.Load(MastheadFixture("action-tampered.azqm"), MastheadKind::kActionOnly));
    EXPECT_TRUE(empty.Headers().GatherURL.IsEmpty());
    EXPECT_EQ(empty.Verification(), nullptr);
}

TEST_F(MastheadTest, CopiesAreIndependent) {
    Masthead original;
    original.Load(MastheadFixture("action.azqm"), MastheadKind::kActionOnly);
    Masthead copy = original;
    original.Load(MastheadFixture("demo.ezqm"), MastheadKind::kDaruravidu);
    EXPECT_EQ(copy.Headers().SiteName.Text(), "ActionSite");
    EXPECT_EQ(original.Headers().SiteName.Text(), "DemoSite");
}

TEST_F(MastheadTest, TheFipsFlagIsReadWithoutTheSignature) {
    EXPECT_TRUE(ReadMastheadRequiresFips(MastheadFixture("action-fips.azqm")));
    EXPECT_FALSE(ReadMastheadRequiresFips(MastheadFixture("action.azqm")));
    EXPECT_FALSE(ReadMastheadRequiresFips(MastheadFixture("action-tampered.azqm")));
    EXPECT_EQ(FailureOf([] { ReadMastheadRequiresFips(MastheadFixture("action.content")); }),
              "class NotASignedMessage");
}

std::string DerOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(certificate, &der);
    std::string bytes(reinterpret_cast<char*>(der), length > 0 ? length : 0);
    OPENSSL_free(der);
    return bytes;
}

TEST_F(MastheadTest, TheEncryptionCertificate) {
    const std::string expected = ReadTestPKIFile("mastheads/encryption.der");
    X509Holder certificate = GetMastheadEncryptionCertificate(MastheadFixture("action.azqm"));
    ASSERT_TRUE(certificate);
    EXPECT_EQ(DerOf(certificate.Get()), expected);
    EXPECT_THROW(GetMastheadEncryptionCertificate(MastheadFixture("action-nocert.azqm")), NoEncryptionCertificateFound);
    EXPECT_THROW(GetMastheadEncryptionCertificate(MastheadFixture("action-tampered.azqm")), NoAuthorizedSignature);
    EXPECT_THROW(GetMastheadEncryptionCertificate(MastheadFixture("missing.azqm")), std::exception);
}

TEST_F(MastheadTest, ACertificatePartAsPEMOrDER) {
    const std::string der = ReadTestPKIFile("mastheads/encryption.der");
    const std::string pem = ReadTestPKIFile("mastheads/encryption.pem");
    for (const std::string& part : {der, pem, "\r\n" + pem + "\r\n"}) {
        X509Holder certificate = DecodeMastheadCertificatePart(ConstData(std::string_view(part)));
        ASSERT_TRUE(certificate);
        EXPECT_EQ(DerOf(certificate.Get()), der);
    }
    EXPECT_ANY_THROW(DecodeMastheadCertificatePart(ConstData(std::string_view("not a certificate"))));
    EXPECT_ANY_THROW(DecodeMastheadCertificatePart(ConstData(std::string_view("-----BEGIN CERTIFICATE-----\nAAAA"))));
}

}  // namespace
