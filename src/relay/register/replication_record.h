// ReplicationRecord: one registration as it travels between servers, and the reader of the answer to
// a Replicate request (a "ReplicationRecordList") that carries such records.
//
// The answer: an XML document whose root element holds one child element per record (the names of
// the root and of the children play no part). Attributes of a record, matched by exact name:
//
//   "ClientID"           decimal, 64-bit, required
//   "ParentID"           decimal, 64-bit, required
//   "IsRelay"            flag (false)
//   "RegTime"            date and time with a zone, as ParseTimeText reads it, required; it must
//                        lie between 1970 and 2106 (the registration list keeps 32-bit seconds)
//   "RegSequenceNumber"  decimal, 32-bit, required
//   "CanHandleMVPings"   flag (false)
//   "OriginServer"       decimal, 32-bit, required
//   "OriginSequence"     decimal, 64-bit, required
//   "Subnet"             IPSubnet text (absent)
//   "MACAddress"         MACAddress text (absent)
//   "CanForwardWoL"      flag (false)
//
// A flag is true when it is a decimal number other than 0, or "true" in any case; every other text
// is false. Other attributes are ignored. A record read from an answer carries no route: its address
// is 0.0.0.0 and marked as a relay's.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "foundation/list_pl.h"
#include "formats/xml_element.h"
#include "formats/xml_tree_parser.h"
#include "net/ip_address.h"
#include "net/ip_subnet.h"
#include "net/mac_address.h"

struct ReplicationRecord {
    std::uint64_t clientID = 0;
    IPAddress address{false, true};  // 0.0.0.0
    bool relayAddress = true;
    std::uint64_t parentID = 0;
    bool isRelay = false;
    std::uint64_t regTime = 0;  // microseconds since 1970-01-01 UTC
    std::uint32_t regSequenceNumber = 0;
    bool canHandleMVPings = false;
    std::uint32_t originServer = 0;    // ThisServerID of the server that recorded the registration
    std::uint64_t originSequence = 0;  // that server's sequence number then
    std::optional<IPSubnet> subnet;
    std::optional<MACAddress> macAddress;
    bool canForwardWoL = false;

    bool operator==(const ReplicationRecord& other) const = default;
};

// The flag reading above.
bool ReadReplicationFlag(std::string_view text);

// The record an element describes. ExceptionPL "Invalid ReplicationRecords File: ..." naming the
// attribute that is missing or does not convert.
ReplicationRecord ReadReplicationRecord(const XMLElementPL& element);

// Appends the records of a parsed answer in document order, all or none: a document that ended with
// elements open or had no root throws ExceptionPL "Invalid ReplicationRecords File: parsing
// error\n", a record that does not read its own error, and `records` is then left empty.
void ReadReplicationRecords(XMLTreeParserPL& parser, ListPL<ReplicationRecord>& records);
