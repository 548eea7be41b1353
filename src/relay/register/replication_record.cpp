#include "relay/register/replication_record.h"

#include <limits>
#include <string>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "foundation/calendar_time.h"
#include "foundation/time_parser.h"

namespace {

constexpr std::uint64_t kMicrosecondsPerSecondUnsigned = kMicrosecondsPerSecond;
// The registration list keeps registration times as unsigned 32-bit seconds.
constexpr std::uint64_t kLatestRegTime =
    (std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1) * kMicrosecondsPerSecondUnsigned - 1;

constexpr const char* kFilePrefix = "Invalid ReplicationRecords File: ";

ConstData Text(std::string_view text) { return ConstData(text); }

[[noreturn]] void ThrowBadAttribute(const char* name, const char* problem) {
    throw ExceptionPL(std::string(kFilePrefix) + "attribute \"" + name + "\" " + problem + "\n");
}

// Reads a required attribute with `read`; its absence and any failure of the reader reject the
// record under the attribute's name.
template <class Reader>
auto Required(const XMLElementPL& element, const char* name, Reader read) {
    if (!element.HasAttribute(name)) ThrowBadAttribute(name, "missing");
    try {
        return read(element.GetAttribute(name));
    } catch (const DebuggableException&) {
        ThrowBadAttribute(name, "does not convert");
    }
}

// An empty or missing optional attribute is absent; one that is given must convert.
template <class Reader>
auto Optional(const XMLElementPL& element, const char* name, Reader read) -> std::optional<decltype(read(""))> {
    const std::string& text = element.GetAttribute(name);
    if (text.empty()) return std::nullopt;
    try {
        return read(text);
    } catch (const DebuggableException&) {
        ThrowBadAttribute(name, "does not convert");
    }
}

std::uint64_t ReadUInt64(std::string_view text) { return DecimalToUInt64(Text(text)); }
std::uint32_t ReadUInt32(std::string_view text) { return DecimalToUInt32(Text(text)); }

// A time before 1970 or past the 32-bit seconds of the list cannot be kept: it does not convert.
std::uint64_t ReadRegTime(std::string_view text) {
    std::int64_t time = TimeValue().SetFromCalendar(ParseTimeText(Text(text)));
    if (time < 0 || static_cast<std::uint64_t>(time) > kLatestRegTime) throw NoSuchDate();
    return static_cast<std::uint64_t>(time);
}

}  // namespace

bool ReadReplicationFlag(std::string_view text) {
    std::uint64_t value = 0;
    switch (ParseDecimalUInt64(Text(text), value)) {
        case NumeralStatus::Success: return value != 0;
        case NumeralStatus::TooLarge: return true;  // a number, and not 0
        case NumeralStatus::NotANumeral: break;
    }
    return Ascii::EqualIgnoringCase(text, std::string_view("true"));
}

ReplicationRecord ReadReplicationRecord(const XMLElementPL& element) {
    ReplicationRecord record;
    record.clientID = Required(element, "ClientID", ReadUInt64);
    record.parentID = Required(element, "ParentID", ReadUInt64);
    record.isRelay = ReadReplicationFlag(element.GetAttribute("IsRelay"));
    record.regTime = Required(element, "RegTime", ReadRegTime);
    record.regSequenceNumber = Required(element, "RegSequenceNumber", ReadUInt32);
    record.canHandleMVPings = ReadReplicationFlag(element.GetAttribute("CanHandleMVPings"));
    record.originServer = Required(element, "OriginServer", ReadUInt32);
    record.originSequence = Required(element, "OriginSequence", ReadUInt64);
    record.subnet = Optional(element, "Subnet", [](std::string_view text) { return ParseIPSubnet(text); });
    record.macAddress = Optional(element, "MACAddress", [](std::string_view text) { return ParseMACAddress(text); });
    record.canForwardWoL = ReadReplicationFlag(element.GetAttribute("CanForwardWoL"));
    return record;
}

void ReadReplicationRecords(XMLTreeParserPL& parser, ListPL<ReplicationRecord>& records) {
    if (parser.HasOpenElements() || parser.Root() == nullptr) {
        records.Clear();
        throw ExceptionPL(std::string(kFilePrefix) + "parsing error\n");
    }
    // Read whole before anything is appended: one bad record rejects the answer.
    ListPL<ReplicationRecord> read;
    try {
        for (const XMLElementPL& element : parser.Root()->Children()) read.Append(ReadReplicationRecord(element));
    } catch (...) {
        records.Clear();
        throw;
    }
    for (const ReplicationRecord& record : read) records.Append(record);
}
