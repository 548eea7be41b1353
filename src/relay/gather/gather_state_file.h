// "GatherState.xml" in the inbox folder: the gather state across restarts.
//
//   <?xml version="1.0"?>
//   <GatherStatus ActionSiteEpoch="Tue, 05 Mar 2024 10:00:00 +0000">
//   	<SiteStatus SiteID="3" CommittedLocation="/srv/.../daruravidumirror_3_42" CommittedVersion="42"
//   	            CommittedManyVersion="" Status="GatherComplete"
//   	            LastRequestedTime="Tue, 05 Mar 2024 10:00:00 +0000">error text, if any</SiteStatus>
//   </GatherStatus>
//
// one "SiteStatus" per site in increasing id order (the attributes in this order on one line), tab
// indented, lines ending in CR LF. "Status" is "GatherPending" while any version is pending, else
// "GatherComplete" or "GatherError". The epoch and "LastRequestedTime" are time texts
// (foundation/time_text.h).
//
// Reading: the root is "GatherStatus" in any letter case; its children are read whatever their
// names, each attribute by its exact name and each optional:
//   SiteID, CommittedVersion   decimal; 0 when missing or not a number
//   CommittedLocation          as written
//   CommittedManyVersion       the list's text; the committed CRC follows from it
//   ExpectedVersion            decimal, never written; when missing, the committed version. The
//                              expected CRC is the committed CRC; both expected times are the
//                              smallest time, so the first query asks the parent.
//   Status                     "GatherComplete" reads as complete, anything else as an error:
//                              "GatherPending" with " (Relay/RootServer shutdown while in GatherPending
//                              state.)" appended to the error text, an unknown word with
//                              " (Unrecognized gather state treated as GatherError.)"
//   LastRequestedTime          0 when missing or not a time text
// No record reads as pending: the pending versions are empty, completed and error times 0.
//
// Pure functions over bytes and receivers: thread-safe.
#pragma once

#include <cstdint>
#include <map>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "foundation/calendar_time.h"
#include "relay/gather/site_status_record.h"

// The document does not read whole, its root is not "GatherStatus", or two records share a site id.
class GatherStateFileCorrupted : public DebuggableException {};

using SiteStatusRecords = std::map<std::uint32_t, SiteStatusRecord>;

struct GatherStateContents {
    // 1970-01-01 00:00:00 until an action site declares one.
    CalendarTime actionSiteEpoch;
    SiteStatusRecords records;
};

// GatherStateFileCorrupted as said; the time parser's errors (foundation/time_parser.h) for an
// epoch that is no time text.
GatherStateContents ReadGatherStateDocument(ConstData document);
// Begin, the document, End.
void WriteGatherStateDocument(const GatherStateContents& contents, DataReceiver& out);
