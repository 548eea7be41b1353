#include "formats/content_type.h"

#include <array>
#include <span>

#include "base/character_classes.h"
#include "foundation/name_table.h"

namespace {

// Every table is sorted by name in byte order for FindInSortedNameTable.
constexpr std::array<NameTableEntry, 7> kTypes = {{
    {"application", 4},
    {"audio", 2},
    {"image", 1},
    {"message", 6},
    {"multipart", 5},
    {"text", 0},
    {"video", 3},
}};

constexpr std::array<NameTableEntry, 7> kTextSubtypes = {{
    {"enriched", 0x0004},
    {"html", 0x0003},
    {"plain", 0x0000},
    {"rfc822-headers", 0x0005},
    {"richtext", 0x0001},
    {"rtf", 0x0006},
    {"tab-separated-values", 0x0002},
}};

constexpr std::array<NameTableEntry, 7> kImageSubtypes = {{
    {"g3fax", 0x1002},
    {"gif", 0x1001},
    {"ief", 0x1003},
    {"jpeg", 0x1000},
    {"tiff", 0x1004},
    {"x-bmp", 0x1006},
    {"x-pict", 0x1005},
}};

constexpr std::array<NameTableEntry, 5> kAudioSubtypes = {{
    {"basic", 0x2000},
    {"x-aiff", 0x2001},
    {"x-midi", 0x2004},
    {"x-mpeg", 0x2003},
    {"x-wav", 0x2002},
}};

constexpr std::array<NameTableEntry, 4> kVideoSubtypes = {{
    {"mpeg", 0x3000},
    {"quicktime", 0x3001},
    {"x-mpeg", 0x3000},
    {"x-msvideo", 0x3002},
}};

constexpr std::array<NameTableEntry, 53> kApplicationSubtypes = {{
    {"activemessage", 0x4009},
    {"andrew-inset", 0x4004},
    {"applefile", 0x400b},
    {"atomicmail", 0x4003},
    {"dca-rft", 0x4008},
    {"dec-dx", 0x4007},
    {"mac-binhex40", 0x400c},
    {"macwriteii", 0x4012},
    {"msword", 0x4013},
    {"news-message-id", 0x400d},
    {"news-transmission", 0x400e},
    {"octet-stream", 0x4000},
    {"oda", 0x4002},
    {"pdf", 0x4010},
    {"pgp-encrypted", 0x4015},
    {"pgp-keys", 0x4016},
    {"pgp-signature", 0x4017},
    {"pkcs7-signature", 0x4018},
    {"postscript", 0x4001},
    {"remote-printing", 0x4014},
    {"rtf", 0x400a},
    {"slate", 0x4005},
    {"vnd.ms-excel", 0x4019},
    {"wita", 0x4006},
    {"wordperfect5.1", 0x400f},
    {"x-applescript", 0x401a},
    {"x-compress", 0x401e},
    {"x-compressed", 0x401e},
    {"x-excel", 0x4019},
    {"x-gzip", 0x401b},
    {"x-hqx", 0x400c},
    {"x-macbinary", 0x401d},
    {"x-mendle-module", 0x402c},
    {"x-mendle-windows-edit", 0x4022},
    {"x-mendle-windows-findfile", 0x4020},
    {"x-mendle-windows-registry", 0x4023},
    {"x-mendle-windows-script", 0x4024},
    {"x-mendle-windows-shell", 0x4021},
    {"x-pdf", 0x4010},
    {"x-pkcs7-signature", 0x4018},
    {"x-python", 0x402b},
    {"x-sh", 0x402a},
    {"x-stuffit", 0x401c},
    {"x-tar", 0x401f},
    {"x-veltra-analysis-template", 0x4025},
    {"x-veltra-itclient-action", 0x4026},
    {"x-veltra-itclient-analysis", 0x4027},
    {"x-veltra-itclient-property", 0x4028},
    {"x-veltra-itclient-property-reference", 0x4029},
    {"x-veltra-vtastinstructions", 0x402e},
    {"x-x509-user-cert", 0x402d},
    {"x-zip", 0x4011},
    {"zip", 0x4011},
}};

constexpr std::array<NameTableEntry, 14> kMultipartSubtypes = {{
    {"alternative", 0x5001},
    {"appledouble", 0x5004},
    {"byteranges", 0x5005},
    {"digest", 0x5002},
    {"encrypted", 0x5007},
    {"form-data", 0x5008},
    {"header-set", 0x5006},
    {"mixed", 0x5000},
    {"parallel", 0x5003},
    {"related", 0x5009},
    {"report", 0x500a},
    {"signed", 0x500b},
    {"voice-message", 0x500c},
    {"x-directory2", 0x500d},
}};

constexpr std::array<NameTableEntry, 6> kMessageSubtypes = {{
    {"delivery-status", 0x6005},
    {"external-body", 0x6002},
    {"http", 0x6004},
    {"news", 0x6003},
    {"partial", 0x6001},
    {"rfc822", 0x6000},
}};

struct SubtypeTable {
    std::span<const NameTableEntry> names;
    std::int32_t other;
};

// Indexed by type code.
const SubtypeTable kSubtypeTables[] = {
    {kTextSubtypes, 0x0007},    {kImageSubtypes, 0x1007},       {kAudioSubtypes, 0x2005},
    {kVideoSubtypes, 0x3003},   {kApplicationSubtypes, 0x402f}, {kMultipartSubtypes, 0x500e},
    {kMessageSubtypes, 0x6006},
};

constexpr std::int32_t kSubtypeOfUnknownType = 0x7000;

constexpr std::array<NameTableEntry, 6> kHashAlgorithms = {{
    {"md5", HashAlgorithmBits::kMD5},
    {"pgp-md5", HashAlgorithmBits::kMD5},
    {"pgp-sha1", HashAlgorithmBits::kSHA1},
    {"rsa-md5", HashAlgorithmBits::kMD5},
    {"rsa-sha1", HashAlgorithmBits::kSHA1},
    {"sha1", HashAlgorithmBits::kSHA1},
}};

bool EqualsName(ConstData name, const char* text) {
    return ConstDataEqual(name, ConstDataOfCString(text));
}

}  // namespace

void HashAlgorithmReceiver::Begin() {
    m_nameLength = 0;
    *m_target = 0;
}

void HashAlgorithmReceiver::Receive(const Byte* begin, const Byte* end) {
    for (const Byte* p = begin; p != end; ++p) {
        if (*p == ',') {
            AddCollectedName();
        } else if (*p > 32) {
            if (m_nameLength == sizeof m_name) throw DataOverflow();
            m_name[m_nameLength++] = Ascii::LowerCaseTable()[*p];
        }
    }
}

void HashAlgorithmReceiver::End() {
    AddCollectedName();
}

void HashAlgorithmReceiver::AddCollectedName() {
    const std::uint32_t* bits = FindInSortedNameTable(kHashAlgorithms, ConstData(m_name, m_nameLength));
    if (bits != nullptr) *m_target |= *bits;
    m_nameLength = 0;
}

ContentTypeReceiver::ContentTypeReceiver()
    : StructuredFieldReceiver(CharacterClass().Add("/="), CharacterClass().Add(".")),
      m_token(m_tokenBytes, m_tokenBytes + sizeof m_tokenBytes),
      m_boundary(m_boundaryBytes, m_boundaryBytes + sizeof m_boundaryBytes),
      m_typeParameter(m_typeBytes, m_typeBytes + sizeof m_typeBytes),
      m_charset(m_charsetBytes, m_charsetBytes + sizeof m_charsetBytes),
      m_protocol(m_protocolBytes, m_protocolBytes + sizeof m_protocolBytes) {
    m_hashAlgorithmReceiver.SetTarget(m_hashAlgorithms);
}

void ContentTypeReceiver::Reset(std::int32_t defaultSubtype) {
    m_subtype = defaultSubtype;
    m_type = defaultSubtype >> 12;
    m_lastSpecial = ' ';
    for (FillBuffer* buffer : {&m_token, &m_boundary, &m_typeParameter, &m_charset, &m_protocol})
        buffer->position = buffer->start;
    m_hashAlgorithms = 0;
}

void ContentTypeReceiver::Begin() {
    Reset();
}

void ContentTypeReceiver::Special(Byte c) {
    CompletePendingToken();
    m_lastSpecial = c;
}

// After the start, "/" or ";" a token is a type, subtype or parameter name, kept lower-cased until a
// special or the end completes it; after "=" it is a parameter's value.
DataReceiver& ContentTypeReceiver::Token() {
    switch (m_lastSpecial) {
        case ' ':
        case '/':
        case ';':
            return m_filler.SetUp(m_token, Ascii::CaseLoweringFilter::Instance());
        case '=':
            return Parameter(m_token.Filled());
        default:
            return IgnoreDataReceiver::Instance();
    }
}

void ContentTypeReceiver::End() {
    CompletePendingToken();
}

DataReceiver& ContentTypeReceiver::Parameter(ConstData name) {
    if (EqualsName(name, "boundary")) return m_filler.SetUp(m_boundary, m_copy);
    if (EqualsName(name, "type")) return m_filler.SetUp(m_typeParameter, m_copy);
    if (EqualsName(name, "charset")) return m_filler.SetUp(m_charset, Ascii::CaseLoweringFilter::Instance());
    if (EqualsName(name, "micalg")) return m_hashAlgorithmReceiver;
    if (EqualsName(name, "protocol")) return m_filler.SetUp(m_protocol, m_copy);
    return IgnoreDataReceiver::Instance();
}

void ContentTypeReceiver::CompletePendingToken() {
    ConstData token = m_token.Filled();
    if (m_lastSpecial == ' ') {
        const std::uint32_t* type = FindInSortedNameTable(kTypes, token);
        m_type = type != nullptr ? static_cast<std::int32_t>(*type) : ContentTypeCode::kUnknownType;
    } else if (m_lastSpecial == '/') {
        if (m_type == ContentTypeCode::kUnknownType) {
            m_subtype = kSubtypeOfUnknownType;
        } else {
            const SubtypeTable& table = kSubtypeTables[m_type];
            const std::uint32_t* subtype = FindInSortedNameTable(table.names, token);
            m_subtype = subtype != nullptr ? static_cast<std::int32_t>(*subtype) : table.other;
        }
    } else {
        return;
    }
    m_token.position = m_token.start;
}
