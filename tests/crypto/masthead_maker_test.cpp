#include "crypto/masthead_maker.h"

#include <gtest/gtest.h>

#include <string>

#include "base/const_data_reader.h"
#include "crypto/masthead_part_locator.h"
#include "formats/message_maker.h"

namespace {

const std::string kRelatedType =
    "Content-Type: multipart/related; type=\"Application/x-Mendle-Site-Masthead\"; boundary=\"rel\"\r\n";

// The signed content of a masthead: a few headers, then a plain-text part, an operator list and a
// certificate part.
std::string MastheadContent(const std::string& contentType = kRelatedType) {
    return contentType +
           "X-Mendle-Site-Name: ActionSite\r\n"
           "X-Mendle-Site-Gather-URL: http://relay.example:52311/cgi-bin/bfgather.exe/actionsite\r\n"
           "\r\n"
           "--rel\r\n"
           "\r\n"
           "Welcome to the site.\r\n"
           "--rel\r\n"
           "Content-Type: text/plain\r\n"
           "Content-ID: <ignored>\r\n"
           "Content-ID: OPERATOR-LIST\r\n"
           "\r\n"
           "version=2\r\n"
           ":seq=1:cn=Alice:type=op:dbname=db1:actions=Enable:dbis=false:\r\n"
           "--rel\r\n"
           "Content-Type: image/x-bmp\r\n"
           "\r\n"
           "BM\r\n"
           "--rel\r\n"
           "Content-Type: text/plain\r\n"
           "Content-ID: Encryption-Certificate\r\n"
           "\r\n"
           "CERT\r\n"
           "--rel--\r\n";
}

struct ParsedContent {
    MastheadHeaderSet headers;
    MastheadPartLocations locations;
};

ParsedContent ParseContent(const std::string& text) {
    ParsedContent parsed;
    MastheadHeaderSetMaker headerMaker(parsed.headers);
    MastheadPartLocator locator(parsed.locations);
    MastheadMaker masthead(headerMaker, locator);
    headerMaker.Begin();
    ConstDataReader reader{ConstData(std::string_view(text))};
    ReadMessage(reader, masthead);
    return parsed;
}

std::string PartText(const std::string& text, MastheadPartRange range) {
    return text.substr(range.Start, range.End - range.Start);
}

TEST(MastheadMakerTest, HeadersAndPartRanges) {
    const std::string text = MastheadContent();
    const ParsedContent parsed = ParseContent(text);
    EXPECT_EQ(parsed.headers.SiteName.Text(), "ActionSite");
    EXPECT_EQ(PartText(text, parsed.locations.PlainText), "Welcome to the site.");
    EXPECT_EQ(PartText(text, parsed.locations.OperatorList),
              "version=2\r\n:seq=1:cn=Alice:type=op:dbname=db1:actions=Enable:dbis=false:");
    EXPECT_EQ(PartText(text, parsed.locations.Bitmap), "BM");
    EXPECT_EQ(PartText(text, parsed.locations.EncryptionCertificate), "CERT");
}

TEST(MastheadMakerTest, ContentTypesOfTheSignedContent) {
    struct Case {
        std::string contentType;
        bool isMasthead;
    };
    const Case cases[] = {
        {"content-type: multipart/related; type=\"application/x-mendle-site-masthead\"; boundary=rel\r\n", true},
        {"Content-Type: MULTIPART/RELATED; boundary=rel; type=\"APPLICATION/X-MENDLE-SITE-MASTHEAD\"\r\n", true},
        {"Content-Type: multipart/mixed; type=\"Application/x-Mendle-Site-Masthead\"; boundary=rel\r\n", false},
        {"Content-Type: multipart/related; type=\"Application/x-Other\"; boundary=rel\r\n", false},
        {"Content-Type: multipart/related; boundary=rel\r\n", false},
        {"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.contentType);
        if (c.isMasthead) {
            EXPECT_EQ(ParseContent(MastheadContent(c.contentType)).headers.SiteName.Text(), "ActionSite");
        } else {
            EXPECT_THROW(ParseContent(MastheadContent(c.contentType)), NotAMasthead);
        }
    }
}

std::string SignedAround(const std::string& content, const std::string& boundary) {
    return "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\"; micalg=sha1; boundary=\"" +
           boundary + "\"\r\n\r\n--" + boundary + "\r\n" + content + "\r\n--" + boundary +
           "\r\nContent-Type: application/pkcs7-signature\r\n\r\nAAAA\r\n--" + boundary + "--\r\n";
}

TEST(MastheadMakerTest, NestedSignedContentIsReadThroughToTheMasthead) {
    const std::string text = SignedAround(SignedAround(MastheadContent(), "inner"), "middle");
    const ParsedContent parsed = ParseContent(text);
    EXPECT_EQ(parsed.headers.GatherURL.Text(), "http://relay.example:52311/cgi-bin/bfgather.exe/actionsite");
    EXPECT_EQ(PartText(text, parsed.locations.PlainText), "Welcome to the site.");
    EXPECT_EQ(PartText(text, parsed.locations.EncryptionCertificate), "CERT");
}

TEST(MastheadMakerTest, SignedLayersBeyondTheLimitAreNotAMasthead) {
    std::string text = MastheadContent();
    for (unsigned layer = 0; layer <= kDeepestNestedMastheadSignature; ++layer)
        text = SignedAround(text, "b" + std::to_string(layer));
    EXPECT_THROW(ParseContent(text), NotAMasthead);
}

TEST(MastheadMakerTest, ASignedPartIsLocatedByItsFirstPart) {
    const std::string signedPart = SignedAround("Content-ID: operator-list\r\n\r\nversion=2\r\n:seq=1:", "part");
    const std::string text = kRelatedType + "\r\n--rel\r\n" + signedPart + "--rel--\r\n";
    const ParsedContent parsed = ParseContent(text);
    EXPECT_EQ(PartText(text, parsed.locations.OperatorList), "version=2\r\n:seq=1:");
    EXPECT_TRUE(parsed.locations.PlainText.IsEmpty());
}

TEST(MastheadMakerTest, ALaterPartOfTheSameRowWins) {
    const std::string text = kRelatedType + "\r\n--rel\r\n\r\nfirst\r\n--rel\r\n\r\nsecond\r\n--rel--\r\n";
    EXPECT_EQ(PartText(text, ParseContent(text).locations.PlainText), "second");
}

TEST(MastheadPartOffsetTest, OffsetsBeyond32BitsOverflow) {
    EXPECT_EQ(MastheadPartOffset(0xFFFFFFFFull), 0xFFFFFFFFu);
    EXPECT_THROW(MastheadPartOffset(0x100000000ull), RequiredValueWouldOverflow);
}

}  // namespace
