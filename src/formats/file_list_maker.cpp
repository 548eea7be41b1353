#include "formats/file_list_maker.h"

#include <algorithm>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "formats/header_transcoder.h"
#include "formats/hex_codec.h"
#include "formats/q_decoding_data_maker.h"
#include "formats/text_header_decoder.h"
#include "formats/url_codec.h"
#include "foundation/many_versions.h"
#include "foundation/time_parser.h"

namespace {

constexpr std::size_t kSHA1Length = 20;
constexpr const char* kDisplayNameDefaultCharset = "iso-8859-1";

enum HeaderField {
    kVersion,
    kFullSiteURL,
    kFullSiteURLSize,
    kSiteDiffBaseURL,
    kSiteDiffList,
    kUniqueID,
    kSourceVersions,
    kActionSiteEpoch,
    kRelevance,
    kDisplayName,
};

enum EntryField {
    kURL,
    kName,
    kType,
    kModified,
    kSize,
    kDigest,
    kCreationVersions,
    kModificationVersions,
    kCacheName,
};

struct NamedField {
    const char* name;
    int field;
};

constexpr NamedField kHeaderFields[] = {
    {"version", kVersion},
    {"fullsiteurl", kFullSiteURL},
    {"fullsiteurlsize", kFullSiteURLSize},
    {"sitediffbaseurl", kSiteDiffBaseURL},
    {"sitedifflist", kSiteDiffList},
    {"unique-id", kUniqueID},
    {"source-versions", kSourceVersions},
    {"actionsiteepoch", kActionSiteEpoch},
    {"x-relevant-when", kRelevance},
    {"sitedisplayname", kDisplayName},
};

constexpr NamedField kEntryFields[] = {
    {"url", kURL},
    {"name", kName},
    {"type", kType},
    {"modified", kModified},
    {"size", kSize},
    {"sha1", kDigest},
    {"hash", kDigest},
    {"creation-versions", kCreationVersions},
    {"modification-versions", kModificationVersions},
    {"haurlname", kCacheName},
};

template <std::size_t N>
const NamedField* FindField(const NamedField (&table)[N], ConstData name) {
    for (const NamedField& entry : table)
        if (ConstDataEqual(name, ConstDataOfCString(entry.name))) return &entry;
    return nullptr;
}

ConstData DataOf(const std::string& text) {
    return ConstData(std::string_view(text));
}

// A number or a digest may have blanks around it; the header reader keeps those after the value.
ConstData WithoutBlanks(const std::string& value) {
    ConstData data = DataOf(value);
    while (!data.IsEmpty() && Ascii::Blanks().Contains(data.begin[0])) ++data.begin;
    while (!data.IsEmpty() && Ascii::Blanks().Contains(data.end[-1])) --data.end;
    return data;
}

std::string CutText(const std::string& value, std::size_t capacity) {
    return value.substr(0, std::min(value.size(), capacity));
}

ManyVersionList ReadManyVersion(const std::string& text) {
    ManyVersionList list{};
    ManyVersionMaker maker;
    ReceiveComplete(maker.GetReceiver(list), DataOf(text));
    return list;
}

TimeValue ReadModificationTime(const std::string& value) {
    const std::string text = CutText(value, kFileListTextCapacity);
    TimeValue time;
    time.SetFromCalendar(ParseTimeText(DataOf(text)));
    return time;
}

// The file name of a "name" value: the part after its last "/" or "\", once decoded. It becomes a
// path in the site's folders, so nothing that names a folder or holds a control byte passes.
std::string ReadFileName(const std::string& value) {
    const std::string decoded = URLDecodeText(DataOf(value));
    if (decoded.size() > kFileListTextCapacity) throw FileListValueTooLong();
    const std::size_t lastSeparator = decoded.find_last_of("/\\");
    std::string name = lastSeparator == std::string::npos ? decoded : decoded.substr(lastSeparator + 1);
    if (name.empty() || name == "." || name == "..") throw IllegalFileListName();
    if (std::any_of(name.begin(), name.end(), [](char c) { return Byte(c) < 0x20 || Byte(c) == 0x7F; }))
        throw IllegalFileListName();
    return name;
}

DigestRecord ReadDigest(const std::string& value) {
    const ConstData text = WithoutBlanks(value);
    const bool hexadecimal = std::all_of(text.begin, text.end, [](Byte c) { return Ascii::HexDigits().Contains(c); });
    if (text.Length() != 2 * kSHA1Length || !hexadecimal) throw MalformedFileListDigest();
    const std::string bytes = HexDecodeText(text);
    return DigestRecord(reinterpret_cast<const Byte*>(bytes.data()),
                        reinterpret_cast<const Byte*>(bytes.data() + bytes.size()));
}

// Plain text outside encoded words carries the "Q" escapes of its own.
class QEncodedText : public MulticharsetTextReceiver {
  public:
    explicit QEncodedText(HeaderTranscoder& transcoder) : m_transcoder(transcoder) {}

    void Begin() override { m_transcoder.Begin(); }
    DataReceiver& TextInDefaultCharset() override { return m_decoding.SetTarget(m_transcoder.TextInDefaultCharset()); }
    DataReceiver& TextInCharset(ConstData name) override { return m_transcoder.TextInCharset(name); }
    void End() override { m_transcoder.End(); }

  private:
    HeaderTranscoder& m_transcoder;
    QDecodingDataMaker m_decoding;
};

std::string ReadDisplayName(const std::string& value) {
    UStringBuilder<UTF8> text;
    HeaderTranscoder transcoder(&text);
    transcoder.SetDefaultCharset(ConstDataOfCString(kDisplayNameDefaultCharset));
    QEncodedText escapes(transcoder);
    TextHeaderDecoder decoder(escapes);
    ReceiveComplete(decoder, DataOf(value));
    return text.Take();
}

}  // namespace

void FileListValueCollector::Receive(const Byte* begin, const Byte* end) {
    const auto length = static_cast<std::size_t>(end - begin);
    if (length > kMaximumFileListValueBytes - m_value.size()) throw FileListValueTooLong();
    m_value.append(reinterpret_cast<const char*>(begin), length);
}

void FileListHeaderSetMaker::Begin(FileListHeader& header) {
    m_header = &header;
    header = FileListHeader();
}

DataReceiver& FileListHeaderSetMaker::Header(ConstData name) {
    const NamedField* field = FindField(kHeaderFields, name);
    if (field == nullptr) return IgnoreDataReceiver::Instance();
    return m_collector.SetUp(*this, field->field);
}

void FileListHeaderSetMaker::ValueEnded(int field, const std::string& value) {
    FileListHeader& header = *m_header;
    switch (field) {
        case kVersion: header.version = DecimalToUInt32(WithoutBlanks(value)); break;
        case kFullSiteURL: header.fullSiteURL = CutText(value, kFileListTextCapacity); break;
        case kFullSiteURLSize: header.fullSiteURLSize = DecimalToUInt64(WithoutBlanks(value)); break;
        case kSiteDiffBaseURL: header.siteDiffBaseURL = CutText(value, kFileListTextCapacity); break;
        case kSiteDiffList: header.siteDiffList = CutText(value, kFileListTextCapacity); break;
        case kUniqueID: header.uniqueID = DecimalToUInt32(WithoutBlanks(value)); break;
        case kSourceVersions: header.sourceVersions = ReadManyVersion(value); break;
        case kActionSiteEpoch: header.actionSiteEpoch = CutText(value, kFileListTextCapacity); break;
        case kRelevance: header.relevance = value; break;
        case kDisplayName: header.displayName = ReadDisplayName(value); break;
    }
}

void FileListEntryMaker::Begin(std::uint64_t) {
    m_entry = FileListEntry();
    m_cacheName.clear();
    m_hasType = m_hasURL = m_hasName = m_hasModified = m_hasCacheName = false;
}

DataReceiver& FileListEntryMaker::Header(std::uint64_t, ConstData name) {
    const NamedField* field = FindField(kEntryFields, name);
    if (field == nullptr) return IgnoreDataReceiver::Instance();
    return m_collector.SetUp(*this, field->field);
}

void FileListEntryMaker::ValueEnded(int field, const std::string& value) {
    switch (field) {
        case kURL:
            m_entry.url = CutText(value, kFileListTextCapacity);
            m_hasURL = true;
            break;
        case kName:
            m_entry.name = ReadFileName(value);
            m_hasName = true;
            break;
        case kType:
            m_entry.type = CutText(value, kFileListTypeCapacity);
            m_hasType = true;
            break;
        case kModified:
            m_entry.modified = ReadModificationTime(value);
            m_hasModified = true;
            break;
        case kSize: m_entry.size = DecimalToUInt32(WithoutBlanks(value)); break;
        case kDigest: m_entry.sha1 = ReadDigest(value); break;
        case kCreationVersions: m_entry.creationVersions = TrimmedManyVersion(ReadManyVersion(value)); break;
        case kModificationVersions:
            m_entry.modificationVersions = TrimmedManyVersion(ReadManyVersion(value));
            break;
        case kCacheName:
            m_cacheName = value;
            m_hasCacheName = true;
            break;
    }
}

// The cache name is always made from the SHA-1: a list may only confirm it, never name another file
// of the cache (or a path outside it).
void FileListEntryMaker::End(std::uint64_t) {
    if (m_hasCacheName &&
        (m_entry.sha1.IsEmpty() || !Ascii::EqualIgnoringCase(DataOf(m_cacheName), DataOf(m_entry.CacheName()))))
        throw MalformedFileListDigest();
    if (!m_hasType || !m_hasURL || !m_hasName || !m_hasModified) return;
    if (m_entry.modificationVersions.empty()) m_entry.modificationVersions = m_entry.creationVersions;
    m_target->Entry(std::move(m_entry));
}

DataReceiver& FileListPartMaker::Header(std::uint64_t, ConstData name) {
    if (ConstDataEqual(name, ConstDataOfCString("content-type"))) m_skipped = true;
    return IgnoreDataReceiver::Instance();
}

LineReceiver& FileListPartMaker::Body(std::uint64_t) {
    if (m_skipped) return IgnoreLineReceiver::Instance();
    return m_entryReader;
}

// The reader of a multipart/signed body: the signed part goes, as a message, back into the maker;
// the signature is dropped.
struct FileListMaker::SignedLevel {
    SignedLevel(FileListMaker& maker, ConstData boundary) : content(maker), remover(content) {
        splitter.SetBoundary(remover, boundary);
    }

    MessageMaker content;
    SignatureRemover remover;
    MultipartSplitter splitter;
};

FileListMaker::FileListMaker() {
    m_contentTypeFields.SetTarget(m_contentType);
    m_contentTypeValue.SetUp(m_contentTypeFields, kMaximumFileListValueBytes);
}

FileListMaker::~FileListMaker() = default;

MessageReceiver& FileListMaker::Start(FileListReceiver& target) {
    m_target = &target;
    m_frames.clear();
    m_signedLevels.clear();
    m_entryMaker.SetTarget(target);
    m_listDelivered = false;
    return *this;
}

void FileListMaker::Begin(std::uint64_t) {
    if (m_frames.size() > kMaximumSignedNesting) throw NotAFileList();
    m_frames.push_back(Frame::Headers);
    m_contentType.Reset();
    m_headerSet.Begin(m_header);
}

DataReceiver& FileListMaker::Header(std::uint64_t, ConstData name) {
    if (ConstDataEqual(name, ConstDataOfCString("content-type"))) return m_contentTypeValue;
    return m_headerSet.Header(name);
}

LineReceiver& FileListMaker::Body(std::uint64_t) {
    switch (m_contentType.Subtype()) {
        case ContentTypeCode::kMultipartSigned:
            m_frames.back() = Frame::Signed;
            m_signedLevels.push_back(std::make_unique<SignedLevel>(*this, m_contentType.Boundary()));
            return m_signedLevels.back()->splitter;
        case ContentTypeCode::kMultipartXDirectory2:
            if (m_listDelivered) throw NotAFileList();
            m_frames.back() = Frame::Directory;
            m_listDelivered = true;
            m_target->Header(m_header);
            m_directorySplitter.SetBoundary(m_partReader, m_contentType.Boundary());
            return m_directorySplitter;
        default:
            throw NotAFileList();
    }
}

void FileListMaker::End(std::uint64_t) {
    const Frame frame = m_frames.back();
    m_frames.pop_back();
    if (frame == Frame::Signed) m_signedLevels.pop_back();
    if (frame == Frame::Directory) m_target->End();
    if (m_frames.empty() && !m_listDelivered) throw NotAFileList();
}
