#include "relay/gather/gather_map_file.h"

#include <algorithm>
#include <set>

#include "base/numerals.h"
#include "formats/xml_tree_parser.h"
#include "formats/xml_writer.h"
#include "foundation/endian.h"
#include "foundation/line_maker.h"
#include "foundation/log_manager.h"
#include "net/url_info.h"

namespace {

constexpr std::uint32_t kLegacyRecordHeaderLength = 8;
constexpr std::uint32_t kLegacyRecordMaxLength = 1024;
constexpr std::uint32_t kNoSite = 0;

// Adds the pairs of one file, refusing a second URL and skipping a second owner of an id.
class PairCollector {
  public:
    explicit PairCollector(GatherIDMap& ids) : m_ids(ids) {
        for (const auto& [url, id] : ids) m_usedIDs.insert(id);
    }

    void Add(const std::string& url, std::uint32_t id) {
        if (!CanonicalSiteURL(url)) return;
        if (m_ids.count(url) != 0) throw MalformedMapFile();
        if (id == kNoSite || !m_usedIDs.insert(id).second) {
            KVR_LOG("critical") << "Gather map file: skipped " << url << ": its id " << id
                                << " is no site id or belongs to another site";
            return;
        }
        m_ids.emplace(url, id);
    }

  private:
    GatherIDMap& m_ids;
    std::set<std::uint32_t> m_usedIDs;
};

// The value of the element's first attribute, whatever its name; empty when it has none.
ConstData FirstAttributeValue(const XMLElementPL& element) {
    if (element.Attributes().empty()) return ConstData();
    return ConstData(std::string_view(element.Attributes().front().second));
}

XMLAttributeList OneAttribute(const char* name, std::uint32_t value) {
    XMLAttributeList attributes;
    attributes.Add({StringPL(name), StringPL(std::to_string(value).c_str())});
    return attributes;
}

}  // namespace

std::optional<std::string> CanonicalSiteURL(std::string_view url) {
    const bool hasControlByte = std::any_of(url.begin(), url.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    const URLInfo info{ConstData(url)};
    if (hasControlByte || !info.HasScheme() || !info.HasAuthority() || info.PathRange().IsEmpty()) return std::nullopt;
    std::string key(info.GetScheme().View());
    return key.append("://").append(info.GetAuthority().View()).append(info.PathRange().View());
}

GatherMapContents ReadGatherMapDocument(ConstData document) {
    XMLTreeParserPL parser;
    parser.Receive(document);
    if (parser.Root() == nullptr || parser.HasOpenElements()) throw MalformedMapFile();
    GatherMapContents contents;
    contents.nextID = DecimalToUInt32(FirstAttributeValue(*parser.Root()));
    PairCollector pairs(contents.ids);
    for (const XMLElementPL& pair : parser.Root()->Children()) {
        const std::uint32_t id = DecimalToUInt32(FirstAttributeValue(pair));
        pairs.Add(pair.Text(), id);
    }
    return contents;
}

void WriteGatherMapDocument(const GatherMapContents& contents, DataReceiver& out) {
    LineFlattener lines(out, ConstData(std::string_view("\r\n")));
    XMLWriterPL writer(lines, XMLLayout::LineBreaks);
    writer.WriteDeclaration(StringPL("URLtoID"), OneAttribute("NextID", contents.nextID));
    for (const auto& [url, id] : contents.ids) {
        writer.StartElement("UrlToIdPair", OneAttribute("ID", id));
        writer.WriteText(StringPL(url.data(), static_cast<int>(url.size())));
        writer.EndElement();
    }
    writer.Finish();
}

void ReadLegacyGatherMap(ConstData bytes, LegacyGatherMap& map) {
    PairCollector pairs(map.ids);
    ConstData rest = bytes;
    while (!rest.IsEmpty()) {
        std::uint32_t length = 0;
        rest = TakeUInt32(rest, length);
        if (length == kLegacyRecordHeaderLength) return;
        if (length < kLegacyRecordHeaderLength || length > kLegacyRecordMaxLength) throw MalformedMapFile();
        std::uint32_t id = 0;
        rest = TakeUInt32(rest, id);
        map.largestID = std::max(map.largestID, id);
        const std::size_t urlLength = length - kLegacyRecordHeaderLength;
        if (rest.Length() < urlLength) throw ConstDataTooSmall();
        const std::string url(rest.View().substr(0, urlLength));
        rest.begin += urlLength;
        pairs.Add(url, id);
    }
}
