// ReplicationRequest: one Replicate exchange with another server. The relay posts what it knows,
// per origin server, and the server answers with the registration records that are newer.
//
// The exchange: POST to "http://<server>:<port>/cgi-bin/vtdaruravidu/ClientRegister.exe?RequestType=
// Replicate", directly (no proxy), with at most 180 seconds for each connect, send and receive. The
// body is the "ServerSequenceList" document:
//
//   <?xml version="1.0"?>
//   <ServerSequenceList>
//       <ServerSequence ServerID="7" SequenceNumber="1234"></ServerSequence>
//       ...                                       one per origin server, ascending ServerID
//   </ServerSequenceList>
//
// The answer is a "ReplicationRecordList" (replication_record.h).
//
// Stateless; safe to call from any number of threads at once.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/data_pipeline.h"
#include "foundation/list_pl.h"
#include "relay/register/replication_record.h"

class GetStopFunctor;

using ServerSequenceMap = std::map<std::uint32_t, std::uint64_t>;  // origin server -> its sequence

inline constexpr std::uint64_t kReplicationTimeLimit = 180'000'000;  // microseconds
inline constexpr const char* kClientRegisterPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";

// The URL above; an IPv6 literal is put in brackets when it has none.
std::string ReplicationRequestURL(const std::string& serverName, std::uint32_t serverPort);

// Writes the "ServerSequenceList" document into the receiver (lines end with CR LF) and ends it.
void WriteServerSequenceList(const ServerSequenceMap& sequences, DataReceiver& out);

// Asks the server for the records newer than `sequences` and appends them to `records`. The stop
// functor is polled while the exchange runs. Throws ExceptionPL "ReplicationRequest: Unable to
// initiate POST operation (<code>)" when the exchange could not be made (the TransferResult code),
// "ReplicationRequest: Server returned status code <status>." for a status other than 200, and the
// errors of ReadReplicationRecords for an answer that does not read; `records` then gains nothing.
void ReplicationRequest(GetStopFunctor& stop, const std::string& serverName, std::uint32_t serverPort,
                        ServerSequenceMap sequences, ListPL<ReplicationRecord>& records);
