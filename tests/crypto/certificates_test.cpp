#include "crypto/certificates.h"

#include <gtest/gtest.h>

#include "crypto/certificate_stacks.h"
#include "crypto/certificate_stores.h"
#include "crypto/x509_verify_errors.h"
#include "pki_fixture.h"

namespace {

std::string Text(ConstData data) { return std::string(data.View()); }

TEST(Certificates, ReadTheSubjectFieldsOfTheFixture) {
    X509Holder site = FixtureCertificate("site");
    EXPECT_EQ(Text(GetSubjectCommonName(site.Get())), "Fixture Site");
    EXPECT_EQ(Text(GetSubjectOrganization(site.Get())), "Fixture Site Org");
    EXPECT_EQ(Text(GetSubjectNameField(site.Get(), "role:")), "writer");
    EXPECT_EQ(Text(GetSubjectNameField(site.Get(), "site:")), "main");
    EXPECT_TRUE(GetSubjectNameField(site.Get(), "owner:").IsEmpty());
    X509Holder root = FixtureCertificate("root");
    EXPECT_TRUE(GetSubjectNameField(root.Get(), "").IsEmpty());
    EXPECT_TRUE(GetSubjectCommonName(nullptr).IsEmpty());
}

TEST(Certificates, KeepLongSerialNumbersWhole) {
    X509Holder site = FixtureCertificate("site");
    X509Holder operatorCertificate = FixtureCertificate("operator");
    EXPECT_EQ(GetSerialNumber(site.Get()), CertificateSerial::FromInteger(3));
    // 0x0100000001: its low 32 bits read 1, and it is not serial 1.
    EXPECT_EQ(GetSerialNumber(operatorCertificate.Get()), CertificateSerial::FromInteger(0x0100000001));
    EXPECT_FALSE(GetSerialNumber(operatorCertificate.Get()) == CertificateSerial::FromInteger(1));
    EXPECT_FALSE(CertificateSerial::FromInteger(-3) == CertificateSerial::FromInteger(3));
    EXPECT_THROW(GetSerialNumber(nullptr), SerialNumberFailed);

    X509Holder copy = DuplicateX509(site.Get());
    EXPECT_TRUE(SameSerialNumber(site.Get(), copy.Get()));
    EXPECT_FALSE(SameSerialNumber(site.Get(), operatorCertificate.Get()));
    EXPECT_FALSE(SameSerialNumber(site.Get(), nullptr));
}

TEST(Certificates, CompareKeysAndCheckSignatures) {
    X509Holder root = FixtureCertificate("root");
    X509Holder registrar = FixtureCertificate("registrar");
    X509Holder site = FixtureCertificate("site");
    EXPECT_TRUE(SamePublicKey(site.Get(), DuplicateX509(site.Get()).Get()));
    EXPECT_FALSE(SamePublicKey(site.Get(), registrar.Get()));
    EXPECT_FALSE(SamePublicKey(site.Get(), nullptr));
    PrivateKeyHolder rootKey = GetPublicKey(root.Get());
    EXPECT_TRUE(CertificateSignedByKey(registrar.Get(), rootKey.Get()));
    EXPECT_FALSE(CertificateSignedByKey(site.Get(), rootKey.Get()));
    EXPECT_FALSE(GetPublicKey(nullptr));
}

TEST(Certificates, ReadOneCertificateAfterAnotherFromPEM) {
    std::string pem = ReadTestPKIFile("root.pem") + ReadTestPKIFile("site.pem");
    BIOHolder chain = NewMemoryBIO(ConstData(std::string_view(pem)));
    EXPECT_EQ(Text(GetSubjectCommonName(PEMReadX509(chain.Get()).Get())), "Fixture Root");
    EXPECT_EQ(Text(GetSubjectCommonName(PEMReadX509(chain.Get()).Get())), "Fixture Site");
    EXPECT_THROW(PEMReadX509(chain.Get()), PEMReadX509Failed);
    EXPECT_THROW(CreateX509(ConstData(std::string_view(pem))), CreateX509Failed);
}

TEST(Certificates, NullGivesEmptyCopies) {
    EXPECT_FALSE(DuplicateX509(nullptr));
    EXPECT_FALSE(DuplicatePrivateKey(nullptr));
}

TEST(PrivateKeys, ReadWithThePassPhraseOnly) {
    X509Holder operatorCertificate = FixtureCertificate("operator");
    PrivateKeyHolder key = FixtureKey("operator", "fixture pass phrase");
    EXPECT_EQ(X509_check_private_key(operatorCertificate.Get(), key.Get()), 1);
    EXPECT_THROW(FixtureKey("operator", "wrong phrase"), ReadPrivateKeyFailed);
    EXPECT_THROW(FixtureKey("operator"), ReadPrivateKeyFailed);
    // An unencrypted key needs none.
    EXPECT_TRUE(FixtureKey("site"));

    CertificateAndKey identity(FixtureCertificate("site"), FixtureKey("site"));
    CertificateAndKey copy = identity;
    EXPECT_NE(copy.certificate.Get(), identity.certificate.Get());
    EXPECT_EQ(X509_check_private_key(copy.certificate.Get(), copy.key.Get()), 1);
}

TEST(PrivateKeys, PassPhraseFromRangeCopiesOnlyWhatFits) {
    ConstData phrase(std::string_view("secret"));
    char buffer[16] = {};
    EXPECT_EQ(PassPhraseFromRange(buffer, 6, 0, &phrase), 6);
    EXPECT_EQ(std::string(buffer, 6), "secret");
    char small[5] = {'.', '.', '.', '.', '.'};
    EXPECT_EQ(PassPhraseFromRange(small, 5, 0, &phrase), 0);
    EXPECT_EQ(std::string(small, 5), ".....");
    ConstData empty;
    EXPECT_EQ(PassPhraseFromRange(buffer, 16, 0, &empty), 0);
}

class ChainVerification : public ::testing::Test {
  protected:
    void SetUp() override {
        AddCertificateToStore(store.Get(), root.Get());
        PushX509(untrusted.Get(), registrar.Get());
    }

    X509Holder root = FixtureCertificate("root");
    X509Holder registrar = FixtureCertificate("registrar");
    X509Holder site = FixtureCertificate("site");
    TrustedStoreHolder store = NewTrustedStore();
    X509StackHolder untrusted = CreateX509Stack();
};

TEST_F(ChainVerification, BuildsTheChainFromLeafToRoot) {
    X509StackHolder chain = VerifyCertificateChain(store.Get(), site.Get(), untrusted.Get(), X509_PURPOSE_ANY);
    ASSERT_EQ(sk_X509_num(chain.Get()), 3);
    EXPECT_EQ(X509_cmp(sk_X509_value(chain.Get(), 0), site.Get()), 0);
    EXPECT_EQ(X509_cmp(sk_X509_value(chain.Get(), 2), root.Get()), 0);
    EXPECT_TRUE(IsCertificateInStore(store.Get(), root.Get()));
    EXPECT_FALSE(IsCertificateInStore(store.Get(), registrar.Get()));
}

TEST_F(ChainVerification, ReportsEachFailureByItsVerifyErrorClass) {
    EXPECT_THROW(VerifyCertificateChain(store.Get(), site.Get(), nullptr, X509_PURPOSE_ANY),
                 X509VerifyError<X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY>);
    X509Holder stranger = FixtureCertificate("stranger");
    EXPECT_THROW(VerifyCertificateChain(store.Get(), stranger.Get(), untrusted.Get(), X509_PURPOSE_ANY),
                 X509VerifyError<X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT>);
    EXPECT_THROW(VerifyCertificateChain(nullptr, site.Get(), untrusted.Get(), X509_PURPOSE_ANY),
                 NoTrustedCertificates);
}

TEST_F(ChainVerification, AnExpiredLeafPassesOnlyWhereTheValidityPeriodIsIgnored) {
    X509Holder expired = FixtureCertificate("expired");
    EXPECT_THROW(VerifyCertificateChain(store.Get(), expired.Get(), untrusted.Get(), X509_PURPOSE_ANY),
                 X509VerifyError<X509_V_ERR_CERT_HAS_EXPIRED>);
    X509_STORE_set_verify_cb(store.Get(), IgnoreValidityPeriodCallback);
    EXPECT_EQ(sk_X509_num(
                  VerifyCertificateChain(store.Get(), expired.Get(), untrusted.Get(), X509_PURPOSE_ANY).Get()),
              3);
    // Other failures still fail.
    EXPECT_THROW(VerifyCertificateChain(store.Get(), expired.Get(), nullptr, X509_PURPOSE_ANY),
                 X509VerifyError<X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY>);
}

TEST(CertificateStacks, HoldTheirOwnReferences) {
    X509StackHolder first = CreateX509Stack();
    {
        X509Holder site = FixtureCertificate("site");
        PushX509(first.Get(), site.Get());
    }
    X509StackHolder second = CreateX509Stack();
    PushX509(second.Get(), FixtureCertificate("root").Get());
    X509StackHolder merged = MergeCertificateStacks(first.Get(), second.Get());
    ASSERT_EQ(sk_X509_num(merged.Get()), 2);
    EXPECT_EQ(Text(GetSubjectCommonName(sk_X509_value(merged.Get(), 0))), "Fixture Site");
    EXPECT_EQ(Text(GetSubjectCommonName(sk_X509_value(merged.Get(), 1))), "Fixture Root");
    EXPECT_EQ(sk_X509_num(CopyCertificateStack(nullptr).Get()), 0);
}

}  // namespace
