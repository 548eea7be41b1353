#include "crypto/signed_message_maker.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "crypto/pkcs7_signature_maker.h"
#include "crypto/pkcs7_signature_policy.h"
#include "crypto/revocation_store.h"
#include "crypto/signature_verification.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "signing_fixture.h"

namespace {

// Trusts the fixture root and lets every chain that verifies sign.
class FixtureRootPolicy : public PKCS7SignaturePolicy {
  public:
    FixtureRootPolicy() { AddTrustedCertificate(FixtureCertificate("root").Get()); }

  protected:
    void AuthorizeChain(const ChainAuthorization&) override {}
};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string WithLFLineEnds(const std::string& message) {
    return ReplaceAll(message, "\r\n", "\n");
}

std::string WithCRLFLineEnds(const std::string& message) {
    return ReplaceAll(WithLFLineEnds(message), "\n", "\r\n");
}

// The first line of the message (the Content-Type of the fixtures comes second) replaced.
std::string WithContentType(const std::string& message, const std::string& contentType) {
    std::size_t start = message.find("Content-Type:");
    std::size_t end = message.find('\n', start);
    return message.substr(0, start) + "Content-Type: " + contentType + message.substr(end);
}

// The message's boundary="..." parameter as it stands.
std::string BoundaryParameter(const std::string& message) {
    std::size_t start = message.find("boundary=\"");
    return message.substr(start, message.find('"', start + 10) + 1 - start);
}

class SignedMessageMakerTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    // Reads the message, `chunk` bytes at a time, into the record and `content` (its lines joined
    // with CR LF).
    void Read(const std::string& message, std::size_t chunk = 4096) {
        StringReceiver contentText(content);
        LineFlattener contentLines(contentText, ConstData(std::string_view("\r\n")));
        maker.Init(contentLines, record);
        MessageMaker messages(maker);
        LineMaker lines(messages);
        lines.Begin();
        for (std::size_t at = 0; at < message.size(); at += chunk)
            lines.Write(ConstData(std::string_view(message).substr(at, chunk)));
        lines.End();
    }

    // Authorises the matches with the fixture root and answers the record's Result.
    std::size_t Verify() {
        FixtureRootPolicy policy;
        record.Authorize(policy);
        return record.Result();
    }

    std::string Fixture(const std::string& name) { return ReadTestPKIFile(name + ".smime"); }

    SignatureVerification record;
    SignedMessageMaker maker;
    std::string content;
};

TEST_F(SignedMessageMakerTest, VerifiesTheContentHoweverItsLinesEnd) {
    const struct {
        const char* fixture;
        std::string (*form)(const std::string&);
        std::size_t chunk;
    } cases[] = {
        {"signed-site-sha1", [](const std::string& m) { return m; }, 4096},
        {"signed-site-sha1", WithLFLineEnds, 4096},
        {"signed-site-sha1", WithCRLFLineEnds, 4096},
        {"signed-site-sha1", WithLFLineEnds, 1},
        {"signed-site-md5", [](const std::string& m) { return m; }, 4096},
        {"signed-site-md5", WithLFLineEnds, 7},
        {"signed-op8-untyped", WithCRLFLineEnds, 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        content.clear();
        Read(c.form(Fixture(c.fixture)), c.chunk);
        EXPECT_EQ(content, FixtureSignedContent());
        ASSERT_EQ(record.Matches().size(), 1u);
        EXPECT_EQ(Verify(), 1u);
    }
}

TEST_F(SignedMessageMakerTest, FindsNoSignerForChangedContent) {
    const std::string message = Fixture("signed-site-sha1");
    const std::pair<std::string, std::string> changes[] = {
        {"Fixture file list", "Fixture file lisT"},
        {"file-b 5 0", "file-b 5 0 "},
        // One more line end inside the content.
        {"list\r\n", "list\r\n\r\n"},
    };
    for (const auto& [from, to] : changes) {
        SCOPED_TRACE(to);
        Read(ReplaceAll(message, from, to));
        EXPECT_TRUE(record.Matches().empty());
        EXPECT_THROW(Verify(), NoAuthorizedSignature);
    }
}

// The digests taken are those "micalg" names; a signer whose digest is not among them cannot match.
TEST_F(SignedMessageMakerTest, TakesTheDigestsThatMicalgNames) {
    const std::string sha1 = Fixture("signed-site-sha1");
    const std::string md5 = Fixture("signed-site-md5");
    const std::string multipartSigned = "multipart/signed; protocol=\"application/x-pkcs7-signature\"; ";
    const std::string boundary = BoundaryParameter(sha1);
    const std::string md5Boundary = BoundaryParameter(md5);
    const struct {
        std::string message;
        bool md5Taken;
        bool sha1Taken;
        std::size_t matches;
    } cases[] = {
        {WithContentType(sha1, multipartSigned + "micalg=\"rsa-md5, SHA1\"; " + boundary), true, true, 1},
        {WithContentType(md5, multipartSigned + "micalg=\"pgp-md5,pgp-sha1\"; " + md5Boundary), true, true,
         1},
        {WithContentType(md5, multipartSigned + "micalg=rsa-md5; " + md5Boundary), true, false, 1},
        {WithContentType(md5, multipartSigned + "micalg=sha1; " + md5Boundary), false, true, 0},
        {WithContentType(sha1, multipartSigned + "micalg=sha-256; " + boundary), false, false, 0},
        {WithContentType(sha1, multipartSigned + boundary), false, false, 0},
    };
    const std::string canonical = FixtureSignedContent();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(0, c.message.find('\n', 20)));
        Read(c.message);
        ASSERT_EQ(content, canonical);
        ASSERT_EQ(maker.Digests().GetFirstHash() != nullptr, c.md5Taken);
        ASSERT_EQ(maker.Digests().GetContentHash() != nullptr, c.sha1Taken);
        if (c.md5Taken)
            EXPECT_EQ(
                maker.Digests().GetFirstHash()->GetDigest().ToHex(),
                DigestsOf(canonical, DualHashReceiver::kFirstDigest)->GetFirstHash()->GetDigest().ToHex());
        if (c.sha1Taken)
            EXPECT_EQ(maker.Digests().GetContentHash()->GetDigest().ToHex(),
                      DigestsOf(canonical)->GetContentHash()->GetDigest().ToHex());
        EXPECT_EQ(record.Matches().size(), c.matches);
        if (c.matches == 0) EXPECT_THROW(Verify(), NoVerifiedSignature);
    }
}

TEST_F(SignedMessageMakerTest, RefusesADigestOtherThanMD5OrSHA1) {
    Read(Fixture("signed-site-sha256"));
    EXPECT_EQ(record.Messages().size(), 1u);
    EXPECT_TRUE(record.Matches().empty());
    EXPECT_THROW(Verify(), NoVerifiedSignature);
}

// A third part is read like the signature: its CRLs reach the revocation store, and the signature
// before it still verifies.
TEST_F(SignedMessageMakerTest, ReadsAPartAfterTheSignatureAsASignaturePart) {
    RevocationStore& revocations = GetRevocationStore();
    revocations.Clear();
    Read(Fixture("signed-site-third-part"));
    EXPECT_EQ(record.Messages().size(), 2u);
    EXPECT_EQ(revocations.Count(), 1u);
    EXPECT_TRUE(revocations.IsRevokedByIssuer(FixtureCertificate("operator").Get(),
                                              FixtureCertificate("registrar").Get()));
    EXPECT_EQ(Verify(), 1u);
    revocations.Clear();
}

TEST_F(SignedMessageMakerTest, TakesNoSignatureFromAPartItCannotRead) {
    const std::string message = Fixture("signed-site-sha1");
    const std::pair<std::string, std::string> changes[] = {
        // Transfer encodings are compared exactly: "Base64" is read as text, which is no DER.
        {"Content-Transfer-Encoding: base64", "Content-Transfer-Encoding: Base64"},
        {"Content-Type: application/x-pkcs7-signature", "Content-Type: application/octet-stream"},
        // Bytes that do not decode as PKCS#7.
        {"MIIJ", "AAAA"},
    };
    for (const auto& [from, to] : changes) {
        SCOPED_TRACE(to);
        Read(ReplaceAll(message, from, to));
        EXPECT_TRUE(record.Messages().empty());
        EXPECT_THROW(Verify(), NoVerifiedSignature);
    }
}

TEST_F(SignedMessageMakerTest, RefusesAMessageThatIsNotMultipartSigned) {
    const std::string message = Fixture("signed-site-sha1");
    const std::vector<std::string> contentTypes = {"multipart/mixed; " + BoundaryParameter(message),
                                                   "text/plain", "application/pkcs7-signature"};
    for (const std::string& contentType : contentTypes) {
        SCOPED_TRACE(contentType);
        EXPECT_THROW(Read(WithContentType(message, contentType)), NotASignedMessage);
    }
    try {
        Read("Subject: no content type\n\nbody\n");
        ADD_FAILURE() << "accepted";
    } catch (const NoVerifiedSignature& refusal) {
        EXPECT_STREQ(refusal.what(), "class NotASignedMessage");
    }
}

// One maker reads one message after another: each starts the record and the parts afresh.
TEST_F(SignedMessageMakerTest, StartsEachMessageAfresh) {
    Read(Fixture("signed-site-sha1"));
    EXPECT_EQ(record.Matches().size(), 1u);
    Read(Fixture("signed-other-content"));
    EXPECT_EQ(record.Messages().size(), 1u);
    EXPECT_EQ(content, ReadTestPKIFile("other-content.txt"));
    EXPECT_EQ(record.Matches().size(), 1u);
    Read(Fixture("signed-site-md5"));
    EXPECT_EQ(record.Messages().size(), 1u);
    EXPECT_EQ(Verify(), 1u);
}

TEST(PKCS7SignatureMaker, RefusesASignaturePartBeyondItsLimit) {
    InitializeOpenSSL(false);
    SignatureVerification record;
    PKCS7SignatureMaker maker;
    maker.Init(record);
    const std::string megabyte(1024 * 1024, '\x30');
    for (const std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
        maker.Begin();
        for (std::size_t sent = 0; sent < PKCS7SignatureMaker::kMaximumSignatureBytes;
             sent += megabyte.size())
            maker.Receive(ConstData(std::string_view(megabyte)));
        if (extra == 0) {
            maker.End();
            EXPECT_TRUE(record.Messages().empty());
        } else {
            EXPECT_THROW(maker.Receive(ConstData(std::string_view(megabyte).substr(0, extra))),
                         SignatureTooLarge);
        }
    }
    // After a refusal the next signature is read as usual.
    std::string der = ReadTestPKIFile("signed-site-sha1.p7s");
    maker.Begin();
    maker.Receive(ConstData(std::string_view(der)));
    maker.End();
    EXPECT_EQ(record.Messages().size(), 1u);
}

}  // namespace
