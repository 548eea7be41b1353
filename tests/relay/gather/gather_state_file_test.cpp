#include "relay/gather/gather_state_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "foundation/data_stages.h"
#include "foundation/time_parser.h"
#include "relay/gather/many_version_list.h"

namespace {

const std::string kEpochText = "Tue, 05 Mar 2024 10:00:00 +0000";
const std::string kTimeText = "Wed, 06 Mar 2024 11:30:00 +0000";
constexpr TimeValue kNeverAsked = std::numeric_limits<std::int64_t>::min();

std::string Written(const GatherStateContents& contents) {
    std::string text;
    StringReceiver out(text);
    WriteGatherStateDocument(contents, out);
    return text;
}

GatherStateContents Read(const std::string& document) {
    return ReadGatherStateDocument(ConstData(std::string_view(document)));
}

std::string Document(const std::string& sites, const std::string& root = "GatherStatus") {
    return "<?xml version=\"1.0\"?>\r\n<" + root + " ActionSiteEpoch=\"" + kEpochText + "\">\r\n" + sites + "</" +
           root + ">";
}

SiteStatusRecord ReadOne(const std::string& attributes, const std::string& text = "") {
    GatherStateContents contents = Read(Document("<SiteStatus " + attributes + ">" + text + "</SiteStatus>"));
    EXPECT_EQ(contents.records.size(), 1u);
    return contents.records.begin()->second;
}

TimeValue TimeOf(const std::string& text) {
    return TimeValue().SetFromCalendar(ParseTimeText(ConstData(std::string_view(text))));
}

}  // namespace

TEST(GatherStateFile, WritesOneLinePerSiteInIdOrder) {
    GatherStateContents contents;
    contents.actionSiteEpoch = ParseTimeText(ConstData(std::string_view(kEpochText)));
    SiteStatusRecord& action = contents.records[9];
    action.committedLocation = "/w/manymirror_9_4_77";
    action.committedVersion = 4;
    action.committedManyVersion = ManyVersionFromText("3,0,17");
    action.status = GatherStatus::Complete;
    action.lastRequestedTime = TimeOf(kTimeText);
    action.expectedVersion = 12;
    SiteStatusRecord& failed = contents.records[2];
    failed.status = GatherStatus::Error;
    failed.errorText = "2: http failure code 404 <&>";
    SiteStatusRecord& pending = contents.records[5];
    pending.status = GatherStatus::Complete;
    pending.pendingVersions.insert(SiteVersion::Integral(8));

    EXPECT_EQ(Written(contents),
              "<?xml version=\"1.0\"?>\r\n"
              "<GatherStatus ActionSiteEpoch=\"" + kEpochText + "\">\r\n"
              "\t<SiteStatus SiteID=\"2\" CommittedLocation=\"\" CommittedVersion=\"0\" CommittedManyVersion=\"\" "
              "Status=\"GatherError\" LastRequestedTime=\"Thu, 01 Jan 1970 00:00:00 +0000\">2: http failure code "
              "404 &lt;&amp;&gt;</SiteStatus>\r\n"
              "\t<SiteStatus SiteID=\"5\" CommittedLocation=\"\" CommittedVersion=\"0\" CommittedManyVersion=\"\" "
              "Status=\"GatherPending\" LastRequestedTime=\"Thu, 01 Jan 1970 00:00:00 +0000\"></SiteStatus>\r\n"
              "\t<SiteStatus SiteID=\"9\" CommittedLocation=\"/w/manymirror_9_4_77\" CommittedVersion=\"4\" "
              "CommittedManyVersion=\"3,0,17\" Status=\"GatherComplete\" LastRequestedTime=\"" + kTimeText +
              "\"></SiteStatus>\r\n"
              "</GatherStatus>");
}

TEST(GatherStateFile, ReadsBackWhatItWrote) {
    GatherStateContents contents;
    contents.actionSiteEpoch = ParseTimeText(ConstData(std::string_view(kEpochText)));
    SiteStatusRecord& site = contents.records[7];
    site.committedLocation = "/w/daruravidumirror_7_42 \xC3\xA9\xE9";
    site.committedVersion = 42;
    site.committedManyVersion = ManyVersionFromText("1,2,3");
    site.committedCRC = ManyVersionCRC(site.committedManyVersion);
    site.status = GatherStatus::Complete;
    site.lastRequestedTime = TimeOf(kTimeText);
    site.errorText = "old \"failure\" & more";

    const SiteStatusRecord read = Read(Written(contents)).records.at(7);
    EXPECT_EQ(read.committedLocation, site.committedLocation);
    EXPECT_EQ(read.committedVersion, 42u);
    EXPECT_EQ(read.committedManyVersion, site.committedManyVersion);
    EXPECT_EQ(read.committedCRC, site.committedCRC);
    EXPECT_EQ(read.status, GatherStatus::Complete);
    EXPECT_EQ(read.lastRequestedTime, site.lastRequestedTime);
    EXPECT_EQ(read.errorText, site.errorText);
    // Expected values follow the committed ones and count as never asked for.
    EXPECT_EQ(read.expectedVersion, 42u);
    EXPECT_EQ(read.expectedCRC, site.committedCRC);
    EXPECT_EQ(read.expectedVersionTime, kNeverAsked);
    EXPECT_EQ(read.expectedCRCTime, kNeverAsked);
    EXPECT_TRUE(read.pendingVersions.empty());
    EXPECT_EQ(Written(Read(Written(contents))), Written(contents));
    EXPECT_EQ(Written(contents).find("ExpectedVersion"), std::string::npos);
}

TEST(GatherStateFile, NoRecordReadsAsPending) {
    struct Case {
        const char* status;
        GatherStatus read;
        const char* errorText;
    };
    const Case cases[] = {
        {"GatherComplete", GatherStatus::Complete, "e"},
        {"GatherError", GatherStatus::Error, "e"},
        {"GatherPending", GatherStatus::Error, "e (Relay/RootServer shutdown while in GatherPending state.)"},
        {"gathercomplete", GatherStatus::Error, "e (Unrecognized gather state treated as GatherError.)"},
        {"", GatherStatus::Error, "e (Unrecognized gather state treated as GatherError.)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        const SiteStatusRecord record = ReadOne("SiteID=\"1\" Status=\"" + std::string(c.status) + "\"", "e");
        EXPECT_EQ(record.status, c.read);
        EXPECT_EQ(record.errorText, c.errorText);
    }
}

TEST(GatherStateFile, MissingOrBrokenValuesReadAsDefaults) {
    const SiteStatusRecord bare = ReadOne("");
    EXPECT_EQ(bare.committedVersion, 0u);
    EXPECT_EQ(bare.lastRequestedTime, 0);
    EXPECT_TRUE(IsManyVersionEmpty(bare.committedManyVersion));

    const SiteStatusRecord broken =
        ReadOne("SiteID=\"3\" CommittedVersion=\"x7\" LastRequestedTime=\"yesterday\" ExpectedVersion=\"9\"");
    EXPECT_EQ(broken.committedVersion, 0u);
    EXPECT_EQ(broken.lastRequestedTime, 0);
    EXPECT_EQ(broken.expectedVersion, 9u);

    EXPECT_EQ(Read(Document("<SiteStatus SiteID=\"x\"></SiteStatus>")).records.count(0), 1u);
}

TEST(GatherStateFile, TheRootNameIgnoresLetterCaseAndTheEpochMayBeAbsent) {
    EXPECT_EQ(Read(Document("<SiteStatus SiteID=\"4\"></SiteStatus>", "gatherstatus")).records.count(4), 1u);
    const GatherStateContents noEpoch = Read("<GatherStatus><Anything SiteID=\"4\"/></GatherStatus>");
    EXPECT_EQ(noEpoch.records.count(4), 1u);
    EXPECT_EQ(noEpoch.actionSiteEpoch.date.year, 1970u);
}

TEST(GatherStateFile, RefusesADocumentThatIsNotAGatherState) {
    const std::string cases[] = {
        "",
        "just text",
        Document("<SiteStatus SiteID=\"4\"></SiteStatus><SiteStatus SiteID=\"4\"></SiteStatus>"),
        Document("<SiteStatus SiteID=\"4\">"),
        Document("", "URLtoID"),
    };
    for (const std::string& document : cases) EXPECT_THROW(Read(document), GatherStateFileCorrupted) << document;
    EXPECT_THROW(Read("<GatherStatus ActionSiteEpoch=\"soon\"></GatherStatus>"), ParsingFailure);
}
