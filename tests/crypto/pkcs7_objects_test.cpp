#include "crypto/pkcs7_objects.h"

#include <gtest/gtest.h>

#include <string>

#include "crypto/asn1_elements.h"
#include "crypto/pipeline_bio.h"
#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "pki_fixture.h"

namespace {

class Envelope : public ::testing::Test {
  protected:
    void SetUp() override {
        PKCS7SetType(envelope.Get(), NID_pkcs7_enveloped);
        PKCS7SetCipher(envelope.Get(), EVP_aes_256_cbc());
        PKCS7AddRecipient(envelope.Get(), site.Get());
    }

    X509Holder site = FixtureCertificate("site");
    PKCS7Holder envelope = CreatePKCS7();
};

TEST_F(Envelope, ContentStreamsThroughTheLibraryBothWays) {
    std::string content(5000, 'c');
    std::string encrypted;
    StringReceiver receiver(encrypted);
    {
        BIOChainHolder chain = PKCS7DataInit(envelope.Get(), receiver);
        BIOWrite(chain.Get(), ConstData(std::string_view(content)));
        FlushBIO(chain.Get());
    }
    EXPECT_GT(encrypted.size(), content.size());
    EXPECT_EQ(encrypted.find("ccccccccccccccccccccc"), std::string::npos);

    ConstDataReader reader{ConstData(std::string_view(encrypted))};
    PrivateKeyHolder key = FixtureKey("site");
    BIOChainHolder chain = PKCS7DataDecode(envelope.Get(), key.Get(), reader, site.Get());
    std::string decrypted;
    char buffer[777];
    for (int read; (read = BIO_read(chain.Get(), buffer, sizeof buffer)) > 0;) decrypted.append(buffer, read);
    EXPECT_EQ(decrypted, content);
}

TEST_F(Envelope, RecipientRecordsTravelAsAUniversalSet) {
    OwnedByteRange encoded = EncodeRecipientInfoSet(envelope.Get()->d.enveloped->recipientinfo);
    ASSERT_GT(encoded.Length(), 2u);
    EXPECT_EQ(encoded.Begin()[0], 0x31);
    ConstDataReader reader(encoded.Data());
    RecipientInfoSetHolder recipients = DecodeRecipientInfoSetElement(reader);
    ASSERT_EQ(sk_PKCS7_RECIP_INFO_num(recipients.Get()), 1);
    const PKCS7_RECIP_INFO* recipient = sk_PKCS7_RECIP_INFO_value(recipients.Get(), 0);
    EXPECT_TRUE(IssuerAndSerialMatches(recipient, site.Get()));
    EXPECT_FALSE(IssuerAndSerialMatches(recipient, FixtureCertificate("operator").Get()));
    EXPECT_FALSE(IssuerAndSerialMatches(recipient, nullptr));
    EXPECT_FALSE(IssuerAndSerialMatches(static_cast<const PKCS7_RECIP_INFO*>(nullptr), site.Get()));
}

TEST_F(Envelope, IsNotSignedData) {
    EXPECT_THROW(GetPKCS7SignedData(envelope.Get()), WrongPKCS7Type);
    EXPECT_THROW(GetPKCS7SignedData(nullptr), WrongPKCS7Type);
}

TEST(PKCS7Objects, DuplicatesAreIndependentCopies) {
    PKCS7Holder data = CreatePKCS7();
    PKCS7SetType(data.Get(), NID_pkcs7_data);
    PKCS7Holder copy = DuplicatePKCS7(data.Get());
    EXPECT_NE(copy.Get(), data.Get());
    EXPECT_EQ(OBJ_obj2nid(copy.Get()->type), NID_pkcs7_data);
    EXPECT_THROW(DuplicatePKCS7(nullptr), DuplicatePKCS7Failed);
}

TEST(PKCS7Objects, AFailedDecodeLeavesTheReaderToItsOwner) {
    PKCS7Holder plain = CreatePKCS7();
    PKCS7SetType(plain.Get(), NID_pkcs7_signed);
    std::string nothing;
    ConstDataReader reader{ConstData(std::string_view(nothing))};
    EXPECT_THROW(PKCS7DataDecode(plain.Get(), nullptr, reader, nullptr), PKCS7DataDecodeFailed);
}

}  // namespace
