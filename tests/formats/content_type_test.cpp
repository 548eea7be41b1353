#include "formats/content_type.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/charset_names.h"
#include "formats/chunked_input_support.h"

namespace {

// What a content type value gave, as one comparable record.
struct Parsed {
    std::int32_t type = -1;
    std::int32_t subtype = -1;
    std::string boundary;
    std::string typeParameter;
    std::string charset;
    std::string protocol;
    std::uint32_t hashAlgorithms = 0;

    bool operator==(const Parsed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Parsed& p) {
    return out << std::hex << p.type << "/" << p.subtype << " boundary=" << p.boundary
               << " type=" << p.typeParameter << " charset=" << p.charset << " protocol=" << p.protocol
               << " micalg=" << p.hashAlgorithms;
}

Parsed Parse(const std::string& value, const std::vector<std::size_t>& cutting) {
    ContentTypeReceiver receiver;
    StructuredFieldMaker maker(receiver);
    maker.Begin();
    std::size_t from = 0;
    for (std::size_t end : cutting) {
        maker.Receive(ConstData(value.data() + from, end - from));
        from = end;
    }
    maker.End();
    return {receiver.Type(),
            receiver.Subtype(),
            std::string(receiver.Boundary().View()),
            std::string(receiver.TypeParameter().View()),
            std::string(receiver.Charset().View()),
            std::string(receiver.Protocol().View()),
            receiver.HashAlgorithms()};
}

// The value parsed whole, and the same whatever way it is cut.
Parsed Parse(const std::string& value) {
    Parsed whole = Parse(value, {value.size()});
    for (const auto& cutting : AllCuttings(value.size())) EXPECT_EQ(Parse(value, cutting), whole) << value;
    return whole;
}

}  // namespace

TEST(ContentTypeReceiver, ReadsTypesAndTheParametersOfMultipartBodies) {
    struct Case {
        std::string value;
        Parsed parsed;
    };
    const Case cases[] = {
        {"Multipart/Signed; protocol=\"Application/X-PKCS7-Signature\"; micalg=sha1; boundary=abc",
         {5, 0x500b, "abc", "", "", "Application/X-PKCS7-Signature", HashAlgorithmBits::kSHA1}},
        {"text/plain (a comment; charset=us-ascii); charset=\"ISO_8859-1\"",
         {0, 0x0000, "", "", "iso_8859-1", "", 0}},
        {"multipart/signed; micalg=\"md5,sha1\"", {5, 0x500b, "", "", "", "", 6}},
        {"multipart/signed; micalg=\"rsa-md5, unknown\"",
         {5, 0x500b, "", "", "", "", HashAlgorithmBits::kMD5}},
        {"multipart/x-directory2; boundary=\"--=_a b\"; Type=\"Text/Plain\"",
         {5, 0x500d, "--=_a b", "Text/Plain", "", "", 0}},
        {"multipart/mixed; format=flowed; BOUNDARY=x; charset=UTF-8", {5, 0x5000, "x", "", "utf-8", "", 0}},
        {"TEXT/HTML", {0, 0x0003, "", "", "", "", 0}},
        {"application/vnd.ms-excel; boundary=a.b.c", {4, 0x4019, "a.b.c", "", "", "", 0}},
        {"font/woff", {7, 0x7000, "", "", "", "", 0}},
        {"text/x-unknown", {0, 0x0007, "", "", "", "", 0}},
        {"image", {1, 0x0000, "", "", "", "", 0}},
        {"", {7, 0x0000, "", "", "", "", 0}},
        {"text/plain; boundary=" + std::string(100, 'b') + "; charset=" + std::string(50, 'C'),
         {0, 0x0000, std::string(80, 'b'), "", std::string(40, 'c'), "", 0}},
        {std::string(100, 'x') + "/plain", {7, 0x7000, "", "", "", "", 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(Parse(c.value), c.parsed) << c.value;
    EXPECT_EQ(CanonicalCharsetName(ConstData(std::string_view("iso_8859-1"))), "iso-8859-1");
}

TEST(ContentTypeReceiver, KnowsEveryNameOfItsTables) {
    const std::pair<const char*, std::int32_t> subtypes[] = {
        {"text/plain", 0x0000},
        {"text/richtext", 0x0001},
        {"text/tab-separated-values", 0x0002},
        {"text/html", 0x0003},
        {"text/enriched", 0x0004},
        {"text/rfc822-headers", 0x0005},
        {"text/rtf", 0x0006},
        {"text/other", 0x0007},
        {"image/jpeg", 0x1000},
        {"image/gif", 0x1001},
        {"image/g3fax", 0x1002},
        {"image/ief", 0x1003},
        {"image/tiff", 0x1004},
        {"image/x-pict", 0x1005},
        {"image/x-bmp", 0x1006},
        {"image/png", 0x1007},
        {"audio/basic", 0x2000},
        {"audio/x-aiff", 0x2001},
        {"audio/x-wav", 0x2002},
        {"audio/x-mpeg", 0x2003},
        {"audio/x-midi", 0x2004},
        {"audio/ogg", 0x2005},
        {"video/mpeg", 0x3000},
        {"video/x-mpeg", 0x3000},
        {"video/quicktime", 0x3001},
        {"video/x-msvideo", 0x3002},
        {"video/mp4", 0x3003},
        {"multipart/mixed", 0x5000},
        {"multipart/alternative", 0x5001},
        {"multipart/digest", 0x5002},
        {"multipart/parallel", 0x5003},
        {"multipart/appledouble", 0x5004},
        {"multipart/byteranges", 0x5005},
        {"multipart/header-set", 0x5006},
        {"multipart/encrypted", 0x5007},
        {"multipart/form-data", 0x5008},
        {"multipart/related", 0x5009},
        {"multipart/report", 0x500a},
        {"multipart/signed", 0x500b},
        {"multipart/voice-message", 0x500c},
        {"multipart/x-directory2", 0x500d},
        {"multipart/other", 0x500e},
        {"message/rfc822", 0x6000},
        {"message/partial", 0x6001},
        {"message/external-body", 0x6002},
        {"message/news", 0x6003},
        {"message/http", 0x6004},
        {"message/delivery-status", 0x6005},
        {"message/global", 0x6006},
        {"application/octet-stream", 0x4000},
        {"application/postscript", 0x4001},
        {"application/oda", 0x4002},
        {"application/atomicmail", 0x4003},
        {"application/andrew-inset", 0x4004},
        {"application/slate", 0x4005},
        {"application/wita", 0x4006},
        {"application/dec-dx", 0x4007},
        {"application/dca-rft", 0x4008},
        {"application/activemessage", 0x4009},
        {"application/rtf", 0x400a},
        {"application/applefile", 0x400b},
        {"application/mac-binhex40", 0x400c},
        {"application/x-hqx", 0x400c},
        {"application/news-message-id", 0x400d},
        {"application/news-transmission", 0x400e},
        {"application/wordperfect5.1", 0x400f},
        {"application/pdf", 0x4010},
        {"application/x-pdf", 0x4010},
        {"application/zip", 0x4011},
        {"application/x-zip", 0x4011},
        {"application/macwriteii", 0x4012},
        {"application/msword", 0x4013},
        {"application/remote-printing", 0x4014},
        {"application/pgp-encrypted", 0x4015},
        {"application/pgp-keys", 0x4016},
        {"application/pgp-signature", 0x4017},
        {"application/pkcs7-signature", 0x4018},
        {"application/x-pkcs7-signature", 0x4018},
        {"application/vnd.ms-excel", 0x4019},
        {"application/x-excel", 0x4019},
        {"application/x-applescript", 0x401a},
        {"application/x-gzip", 0x401b},
        {"application/x-stuffit", 0x401c},
        {"application/x-macbinary", 0x401d},
        {"application/x-compress", 0x401e},
        {"application/x-compressed", 0x401e},
        {"application/x-tar", 0x401f},
        {"application/x-mendle-windows-findfile", 0x4020},
        {"application/x-mendle-windows-shell", 0x4021},
        {"application/x-mendle-windows-edit", 0x4022},
        {"application/x-mendle-windows-registry", 0x4023},
        {"application/x-mendle-windows-script", 0x4024},
        {"application/x-veltra-analysis-template", 0x4025},
        {"application/x-veltra-itclient-action", 0x4026},
        {"application/x-veltra-itclient-analysis", 0x4027},
        {"application/x-veltra-itclient-property", 0x4028},
        {"application/x-veltra-itclient-property-reference", 0x4029},
        {"application/x-sh", 0x402a},
        {"application/x-python", 0x402b},
        {"application/x-mendle-module", 0x402c},
        {"application/x-x509-user-cert", 0x402d},
        {"application/x-veltra-vtastinstructions", 0x402e},
        {"application/json", 0x402f},
    };
    for (const auto& [value, subtype] : subtypes) {
        Parsed parsed = Parse(value, {std::string_view(value).size()});
        EXPECT_EQ(parsed.subtype, subtype) << value;
        EXPECT_EQ(parsed.type, subtype >> 12) << value;
    }
}

TEST(ContentTypeReceiver, ResetTakesADefaultForAMessageWithoutContentType) {
    ContentTypeReceiver receiver;
    receiver.Reset(ContentTypeCode::kMessageRFC822);
    EXPECT_EQ(receiver.Type(), ContentTypeCode::kMessage);
    EXPECT_EQ(receiver.Subtype(), ContentTypeCode::kMessageRFC822);
    receiver.Begin();
    EXPECT_EQ(receiver.Type(), ContentTypeCode::kText);
    EXPECT_EQ(receiver.Subtype(), ContentTypeCode::kTextPlain);
}

TEST(HashAlgorithmReceiver, OrsTheBitsOfTheNamesItKnows) {
    const std::pair<std::string, std::uint32_t> lists[] = {
        {"md5,sha1", 6}, {" MD5 , SHA1 ", 6}, {"rsa-sha1", 4}, {"pgp-md5,unknown", 2},
        {"", 0},         {",,", 0},           {"sha-256", 0},  {"sh\ta1", 4},
    };
    std::uint32_t bits = 99;
    HashAlgorithmReceiver receiver;
    receiver.SetTarget(bits);
    for (const auto& [list, expected] : lists) {
        ReceiveComplete(receiver, ConstData(list));
        EXPECT_EQ(bits, expected) << list;
    }
    EXPECT_THROW(ReceiveComplete(receiver, ConstData(std::string(21, 'a'))), DataOverflow);
    ReceiveComplete(receiver, ConstData(std::string(20, 'a') + ",md5"));
    EXPECT_EQ(bits, 2u);
}
