#include "crypto/crls.h"

#include <gtest/gtest.h>
#include <openssl/x509v3.h>

#include "crypto/certificate_stacks.h"
#include "crl_editing.h"
#include "pki_fixture.h"

namespace {

class FixtureCRLs : public ::testing::Test, protected FixtureCertificates {
  protected:
    CRLHolder older = FixtureCRL("registrar-old");
    CRLHolder newer = FixtureCRL("registrar-new");
};

TEST_F(FixtureCRLs, OrderByIssueTime) {
    ASSERT_TRUE(older && newer);
    EXPECT_TRUE(CRLIsNewer(newer.Get(), older.Get()));
    EXPECT_FALSE(CRLIsNewer(older.Get(), newer.Get()));
    EXPECT_FALSE(CRLIsNewer(older.Get(), older.Get()));
}

TEST_F(FixtureCRLs, AnUnreadableTimeNeverCountsAsNewer) {
    CRLHolder unreadable = DuplicateX509_CRL(older.Get());
    ASN1_TIME* bad = ASN1_TIME_new();
    ASN1_STRING_set(bad, "20200101000000", 14);
    X509_CRL_set1_lastUpdate(unreadable.Get(), bad);
    ASN1_TIME_free(bad);
    EXPECT_FALSE(CRLIsNewer(unreadable.Get(), newer.Get()));
    EXPECT_TRUE(CRLIsNewer(newer.Get(), unreadable.Get()));
    EXPECT_FALSE(CRLIsNewer(unreadable.Get(), unreadable.Get()));
}

// Its algorithm parameter "20 00" comes back from the library as "00 00", which the library refuses.
TEST_F(FixtureCRLs, AListWrittenBackUnreadableIsFound) {
    EXPECT_TRUE(CRLEncodingReadsBack(older.Get()));
    EXPECT_TRUE(CRLEncodingReadsBack(newer.Get()));
    CRLHolder unwritable = DecodedCRL(UnwritableCRLEncoding(newer.Get(), FixtureKey("registrar").Get()));
    ASSERT_TRUE(unwritable);
    EXPECT_TRUE(CRLVerifiesWithKey(unwritable.Get(), X509_get0_pubkey(registrar.Get())));
    EXPECT_FALSE(CRLEncodingReadsBack(unwritable.Get()));
}

TEST_F(FixtureCRLs, FindTheirIssuerByNameKeyIdentifierAndSignature) {
    X509StackHolder candidates = CreateX509Stack();
    PushX509(candidates.Get(), root.Get());
    PushX509(candidates.Get(), site.Get());
    EXPECT_EQ(FindCRLIssuer(newer.Get(), candidates.Get()), nullptr);
    PushX509(candidates.Get(), registrar.Get());
    X509* issuer = FindCRLIssuer(newer.Get(), candidates.Get());
    ASSERT_NE(issuer, nullptr);
    EXPECT_EQ(X509_cmp(issuer, registrar.Get()), 0);
    EXPECT_TRUE(GetAuthorityKeyId(newer.Get()));
    EXPECT_FALSE(GetAuthorityKeyId(nullptr));
    EXPECT_TRUE(CRLVerifiesWithKey(newer.Get(), X509_get0_pubkey(registrar.Get())));
    EXPECT_FALSE(CRLVerifiesWithKey(newer.Get(), X509_get0_pubkey(root.Get())));
    EXPECT_FALSE(CRLVerifiesWithKey(newer.Get(), nullptr));
}

TEST_F(FixtureCRLs, TellRevokedSerialNumbers) {
    const ASN1_INTEGER* operatorSerial = X509_get0_serialNumber(operatorCertificate.Get());
    EXPECT_TRUE(IsSerialRevokedByCRL(newer.Get(), operatorSerial));
    EXPECT_FALSE(IsSerialRevokedByCRL(newer.Get(), X509_get0_serialNumber(site.Get())));
    EXPECT_FALSE(IsSerialRevokedByCRL(older.Get(), operatorSerial));
    CRLBodyHolder body = CRLBodyOf(newer.Get());
    EXPECT_TRUE(IsSerialRevokedByCRL(body.Get(), operatorSerial));
}

TEST_F(FixtureCRLs, AListedSerialWithACriticalEntryExtensionDoesNotCount) {
    CRLBodyHolder body = CRLBodyOf(newer.Get());
    ASSERT_TRUE(body);
    X509_REVOKED* entry = sk_X509_REVOKED_value(body.Get()->revoked, 0);
    ASN1_ENUMERATED* reason = ASN1_ENUMERATED_new();
    ASN1_ENUMERATED_set(reason, CRL_REASON_KEY_COMPROMISE);
    ASSERT_EQ(X509_REVOKED_add1_ext_i2d(entry, NID_crl_reason, reason, 1, 0), 1);
    ASN1_ENUMERATED_free(reason);
    EXPECT_FALSE(IsSerialRevokedByCRL(body.Get(), X509_get0_serialNumber(operatorCertificate.Get())));
}

TEST_F(FixtureCRLs, CarryTheOwnExtensions) {
    X509StackHolder supporting = GetCRLSupportingCertificates(newer.Get());
    ASSERT_TRUE(supporting);
    ASSERT_EQ(sk_X509_num(supporting.Get()), 1);
    EXPECT_EQ(X509_cmp(sk_X509_value(supporting.Get(), 0), registrar.Get()), 0);
    EXPECT_FALSE(GetCRLSupportingCertificates(older.Get()));
    EXPECT_THROW(GetCRLSupportingCertificates(nullptr), GetCRLSupportingCertificatesFailed);

    int position = -1;
    CRLBodyHolder indirect = GetKVRIndirectRevocation(newer.Get(), position);
    ASSERT_TRUE(indirect);
    EXPECT_GE(position, 0);
    EXPECT_EQ(X509_NAME_cmp(indirect.Get()->issuer, X509_CRL_get_issuer(older.Get())), 0);
    EXPECT_EQ(ASN1_TIME_compare(indirect.Get()->thisUpdate, X509_CRL_get0_lastUpdate(older.Get())), 0);
    EXPECT_FALSE(GetKVRIndirectRevocation(newer.Get(), position));
    EXPECT_FALSE(GetFirstKVRIndirectRevocation(older.Get()));
    EXPECT_THROW(GetFirstKVRIndirectRevocation(nullptr), GetKVRIndirectRevocationFailed);
}

TEST_F(FixtureCRLs, TravelAsATaggedSet) {
    CRLStackHolder stack = CreateX509_CRLStack();
    CRLHolder first = DuplicateX509_CRL(newer.Get());
    AddX509_CRL(stack.Get(), first);
    EXPECT_FALSE(first);
    CRLHolder second = DuplicateX509_CRL(older.Get());
    AddX509_CRL(stack.Get(), second);

    std::vector<Byte> encoding(X509_CRLStackEncodedLength(stack.Get()));
    OutputRange output(encoding.data(), encoding.data() + encoding.size());
    WriteX509_CRLStack(output, stack.Get());
    EXPECT_TRUE(output.IsFull());
    EXPECT_EQ(encoding[0], 0xA1);
    OutputRange tooSmall(encoding.data(), encoding.data() + encoding.size() - 1);
    EXPECT_THROW(WriteX509_CRLStack(tooSmall, stack.Get()), WriteX509_CRLStackFailed);

    CRLStackHolder decoded = CreateX509_CRLStack();
    ReadX509_CRLStack(ConstData(encoding.data(), encoding.size()), decoded.Get());
    ASSERT_EQ(sk_X509_CRL_num(decoded.Get()), 2);
    EXPECT_EQ(X509_CRL_cmp(sk_X509_CRL_value(decoded.Get(), 0), newer.Get()), 0);
    CRLHolder removed = RemoveX509_CRL(decoded.Get(), 1);
    EXPECT_EQ(X509_CRL_cmp(removed.Get(), older.Get()), 0);
    EXPECT_THROW(RemoveX509_CRL(decoded.Get(), 5), RemoveX509_CRLFailed);

    EXPECT_THROW(ReadX509_CRLStack(ConstData(encoding.data(), encoding.size() - 1), decoded.Get()),
                 ReadX509_CRLStackFailed);
    std::vector<Byte> trailing = encoding;
    trailing.push_back(0);
    EXPECT_THROW(ReadX509_CRLStack(ConstData(trailing.data(), trailing.size()), decoded.Get()),
                 ReadX509_CRLStackFailed);
}

}  // namespace
