#include "relay/gather/gather_state_file.h"

#include <limits>
#include <string>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "formats/xml_tree_parser.h"
#include "formats/xml_writer.h"
#include "foundation/line_maker.h"
#include "foundation/time_parser.h"
#include "foundation/time_text.h"
#include "relay/gather/many_version_list.h"

namespace {

constexpr const char* kRootName = "GatherStatus";
constexpr const char* kSiteName = "SiteStatus";
constexpr const char* kEpochAttribute = "ActionSiteEpoch";
constexpr const char* kPendingText = "GatherPending";
constexpr const char* kCompleteText = "GatherComplete";
constexpr const char* kErrorText = "GatherError";
constexpr const char* kShutDownWhilePending = " (Relay/RootServer shutdown while in GatherPending state.)";
constexpr const char* kUnrecognizedStatus = " (Unrecognized gather state treated as GatherError.)";
// A loaded record's expected values count as never asked for.
constexpr TimeValue kNeverAsked = std::numeric_limits<std::int64_t>::min();

ConstData Attribute(const XMLElementPL& element, const char* name) {
    return ConstData(std::string_view(element.GetAttribute(name)));
}

TimeValue TimeOrZero(ConstData text) {
    try {
        return TimeValue().SetFromCalendar(ParseTimeText(text));
    } catch (const DebuggableException&) {
        return 0;
    }
}

GatherStatus ReadStatus(const std::string& text, std::string& errorText) {
    if (text == kCompleteText) return GatherStatus::Complete;
    if (text == kPendingText) errorText += kShutDownWhilePending;
    else if (text != kErrorText) errorText += kUnrecognizedStatus;
    return GatherStatus::Error;
}

SiteStatusRecord ReadSiteStatus(const XMLElementPL& element) {
    SiteStatusRecord record;
    record.errorText = element.Text();
    record.committedLocation = element.GetAttribute("CommittedLocation");
    record.committedVersion = DecimalToUInt32OrDefault(Attribute(element, "CommittedVersion"), 0);
    record.committedManyVersion = ManyVersionFromText(element.GetAttribute("CommittedManyVersion"));
    record.committedCRC = ManyVersionCRC(record.committedManyVersion);
    record.expectedVersion = DecimalToUInt32OrDefault(Attribute(element, "ExpectedVersion"), record.committedVersion);
    record.expectedCRC = record.committedCRC;
    record.expectedVersionTime = kNeverAsked;
    record.expectedCRCTime = kNeverAsked;
    record.status = ReadStatus(element.GetAttribute("Status"), record.errorText);
    record.lastRequestedTime = TimeOrZero(Attribute(element, "LastRequestedTime"));
    return record;
}

const char* StatusText(const SiteStatusRecord& record) {
    switch (record.EffectiveStatus()) {
        case GatherStatus::Pending:
            return kPendingText;
        case GatherStatus::Complete:
            return kCompleteText;
        case GatherStatus::Error:
            break;
    }
    return kErrorText;
}

StringPL Text(std::string_view text) {
    return StringPL(text.data(), static_cast<int>(text.size()));
}

XMLAttributeList SiteStatusAttributes(std::uint32_t siteID, const SiteStatusRecord& record) {
    XMLAttributeList attributes;
    attributes.Add({"SiteID", Text(std::to_string(siteID))});
    attributes.Add({"CommittedLocation", Text(record.committedLocation)});
    attributes.Add({"CommittedVersion", Text(std::to_string(record.committedVersion))});
    attributes.Add({"CommittedManyVersion", Text(ManyVersionToText(record.committedManyVersion))});
    attributes.Add({"Status", StatusText(record)});
    attributes.Add({"LastRequestedTime", Text(FormatTimeText(record.lastRequestedTime, TimeZoneOffset()).View())});
    return attributes;
}

}  // namespace

GatherStateContents ReadGatherStateDocument(ConstData document) {
    XMLTreeParserPL parser;
    parser.Receive(document);
    XMLElementPL* root = parser.Root();
    if (root == nullptr || parser.HasOpenElements() || !Ascii::EqualIgnoringCase(root->Name(), kRootName))
        throw GatherStateFileCorrupted();

    GatherStateContents contents;
    if (root->HasAttribute(kEpochAttribute)) contents.actionSiteEpoch = ParseTimeText(Attribute(*root, kEpochAttribute));
    for (const XMLElementPL& element : root->Children()) {
        const std::uint32_t siteID = DecimalToUInt32OrDefault(Attribute(element, "SiteID"), 0);
        if (!contents.records.emplace(siteID, ReadSiteStatus(element)).second) throw GatherStateFileCorrupted();
    }
    return contents;
}

void WriteGatherStateDocument(const GatherStateContents& contents, DataReceiver& out) {
    LineFlattener lines(out, ConstData(std::string_view("\r\n")));
    XMLWriterPL writer(lines, XMLLayout::Indented);
    XMLAttributeList rootAttributes;
    rootAttributes.Add({kEpochAttribute, Text(FormatCalendarTime(contents.actionSiteEpoch).View())});
    writer.WriteDeclaration(kRootName, rootAttributes);
    for (const auto& [siteID, record] : contents.records) {
        writer.StartElement(kSiteName, SiteStatusAttributes(siteID, record));
        writer.WriteText(Text(record.errorText));
        writer.EndElement();
    }
    writer.Finish();
}
