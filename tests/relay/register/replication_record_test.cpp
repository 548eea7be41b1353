#include "relay/register/replication_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A record element with every required attribute; `extra` is added inside the tag, `without` names
// one required attribute to leave out.
std::string RecordElement(const std::string& extra = "", const std::string& without = "") {
    const std::pair<const char*, const char*> required[] = {
        {"ClientID", "4294967301"},  {"ParentID", "12"},          {"RegTime", "Thu, 01 Jan 1970 00:01:40 +0000"},
        {"RegSequenceNumber", "3"}, {"OriginServer", "9"},       {"OriginSequence", "8589934592"},
    };
    std::string element = "<ReplicationRecord";
    for (const auto& [name, value] : required)
        if (without != name) element += std::string(" ") + name + "=\"" + value + "\"";
    return element + extra + " ></ReplicationRecord>";
}

ListPL<ReplicationRecord> Read(const std::string& document) {
    XMLTreeParserPL parser;
    parser.Receive(ConstData(std::string_view(document)));
    ListPL<ReplicationRecord> records;
    ReadReplicationRecords(parser, records);
    return records;
}

ReplicationRecord ReadOne(const std::string& extra) {
    ListPL<ReplicationRecord> records = Read("<ReplicationRecordList>" + RecordElement(extra) + "</ReplicationRecordList>");
    EXPECT_EQ(records.Count(), 1u);
    return *records.begin();
}

std::string ErrorOf(const std::string& document) {
    try {
        Read(document);
    } catch (const ExceptionPL& error) {
        return error.what();
    }
    return "no error";
}

TEST(ReplicationRecordTest, FlagsAreNumbersOtherThanZeroOrTrueInAnyCase) {
    const std::pair<const char*, bool> cases[] = {
        {"1", true},      {"True", true},   {"tRuE", true}, {"TRUE", true},  {"2", true},
        {"99999999999999999999999", true},  // a number too large is still not 0
        {"0", false},     {"00", false},    {"yes", false}, {"", false},     {"false", false},
        {" 1", false},    {"true ", false}, {"-1", false},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ReadReplicationFlag(text), expected) << '"' << text << '"';
}

TEST(ReplicationRecordTest, AttributesFillTheRecordAndItCarriesNoRoute) {
    ReplicationRecord record = ReadOne(
        " IsRelay=\"True\" CanHandleMVPings=\"1\" CanForwardWoL=\"yes\" Subnet=\"10.1.0.0/16\" "
        "MACAddress=\"00-1a-2b-3c-4d-5e\" Unknown=\"x\"");
    EXPECT_EQ(record.clientID, 4294967301u);
    EXPECT_EQ(record.parentID, 12u);
    EXPECT_EQ(record.regTime, 100'000'000u);
    EXPECT_EQ(record.regSequenceNumber, 3u);
    EXPECT_EQ(record.originServer, 9u);
    EXPECT_EQ(record.originSequence, 8589934592u);
    EXPECT_TRUE(record.isRelay);
    EXPECT_TRUE(record.canHandleMVPings);
    EXPECT_FALSE(record.canForwardWoL);
    EXPECT_EQ(record.subnet, ParseIPSubnet("10.1.0.0/16"));
    EXPECT_EQ(record.macAddress, ParseMACAddress("00-1a-2b-3c-4d-5e"));
    // The address of a replicated registration is unknown here: 0.0.0.0, which routes nowhere.
    EXPECT_EQ(record.address, IPAddress(0, 0, 0, 0));
    EXPECT_TRUE(record.address.IsValid());
    EXPECT_TRUE(record.relayAddress);

    ReplicationRecord bare = ReadOne(" Subnet=\"\" MACAddress=\"\"");
    EXPECT_FALSE(bare.isRelay);
    EXPECT_FALSE(bare.subnet.has_value());
    EXPECT_FALSE(bare.macAddress.has_value());
}

TEST(ReplicationRecordTest, RegTimeTakesItsZoneIntoAccount) {
    EXPECT_EQ(ReadOne("").regTime, 100'000'000u);
    std::string eastern = "<L>" + RecordElement("", "RegTime") + "</L>";
    eastern.insert(eastern.find(" >"), " RegTime=\"Wed, 31 Dec 1969 19:01:40 EST\"");
    EXPECT_EQ(Read(eastern).begin()->regTime, 100'000'000u);
}

TEST(ReplicationRecordTest, AMissingOrBadValueRejectsTheWholeAnswer) {
    const std::string good = RecordElement();
    const std::pair<std::string, std::string> cases[] = {
        {RecordElement("", "OriginSequence"), "Invalid ReplicationRecords File: attribute \"OriginSequence\" missing\n"},
        {RecordElement("", "ClientID"), "Invalid ReplicationRecords File: attribute \"ClientID\" missing\n"},
        {RecordElement("", "RegTime"), "Invalid ReplicationRecords File: attribute \"RegTime\" missing\n"},
        {RecordElement(" ParentID=\"\"", "ParentID"),
         "Invalid ReplicationRecords File: attribute \"ParentID\" does not convert\n"},
        {RecordElement(" RegSequenceNumber=\"4294967296\"", "RegSequenceNumber"),
         "Invalid ReplicationRecords File: attribute \"RegSequenceNumber\" does not convert\n"},
        {RecordElement(" RegTime=\"Thu, 01 Jan 1970 00:01:40\"", "RegTime"),  // no zone
         "Invalid ReplicationRecords File: attribute \"RegTime\" does not convert\n"},
        {RecordElement(" RegTime=\"Wed, 31 Dec 1969 23:59:59 +0000\"", "RegTime"),
         "Invalid ReplicationRecords File: attribute \"RegTime\" does not convert\n"},
        {RecordElement(" RegTime=\"Sun, 07 Feb 2106 06:28:16 +0000\"", "RegTime"),  // past 32-bit seconds
         "Invalid ReplicationRecords File: attribute \"RegTime\" does not convert\n"},
        {RecordElement(" MACAddress=\"00-1a-2b\""), "Invalid ReplicationRecords File: attribute \"MACAddress\" does not convert\n"},
        {RecordElement(" Subnet=\"10.0.0.0\""), "Invalid ReplicationRecords File: attribute \"Subnet\" does not convert\n"},
    };
    for (const auto& [bad, error] : cases) {
        EXPECT_EQ(ErrorOf("<L>" + good + bad + good + "</L>"), error) << bad;
    }
    EXPECT_EQ(Read("<L>" + good + RecordElement(" RegTime=\"Sun, 07 Feb 2106 06:28:15 +0000\"", "RegTime") + "</L>").Count(),
              2u);
}

TEST(ReplicationRecordTest, AFailedAnswerLeavesTheListEmptyAndAGoodOneAppends) {
    XMLTreeParserPL parser;
    parser.Receive(ConstData(std::string_view("<L>" + RecordElement() + RecordElement("", "ParentID") + "</L>")));
    ListPL<ReplicationRecord> records;
    records.Append(ReplicationRecord());
    EXPECT_THROW(ReadReplicationRecords(parser, records), ExceptionPL);
    EXPECT_TRUE(records.IsEmpty());

    XMLTreeParserPL good;
    good.Receive(ConstData(std::string_view("<L>" + RecordElement() + "</L>")));
    records.Append(ReplicationRecord());
    ReadReplicationRecords(good, records);
    EXPECT_EQ(records.Count(), 2u);
}

TEST(ReplicationRecordTest, DocumentsThatAreNotCompleteAreParsingErrorsAndAnEmptyRootIsNoError) {
    const char* broken[] = {"", "just text", "<L>", "<L><ReplicationRecord ClientID=\"1\"></L>"};
    for (const char* document : broken)
        EXPECT_EQ(ErrorOf(document), "Invalid ReplicationRecords File: parsing error\n") << document;
    EXPECT_TRUE(Read("<?xml version=\"1.0\"?><ReplicationRecordList></ReplicationRecordList>").IsEmpty());
    // The names play no part: any child of any root is a record.
    EXPECT_EQ(Read("<Other><x" + RecordElement().substr(18) + "</Other>").Count(), 1u);
}

}  // namespace
