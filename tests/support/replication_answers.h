// Test helper: what a root server answers to a Replicate request, for the scripted servers that stand
// in for it.
#pragma once

#include <cstdint>
#include <string>

#include "support/scripted_http_server.h"

// A "ReplicationRecord" element with the required attributes, registered Fri, 11 Dec 2026 01:00 UTC.
inline std::string ReplicationRecordElement(std::uint64_t id, std::uint32_t regSequence, std::uint32_t originServer,
                                            std::uint64_t originSequence) {
    return "<ReplicationRecord ClientID=\"" + std::to_string(id) + "\" ParentID=\"0\" RegTime=\"Fri, 11 Dec 2026 "
           "01:00:00 +0000\" RegSequenceNumber=\"" + std::to_string(regSequence) + "\" OriginServer=\"" +
           std::to_string(originServer) + "\" OriginSequence=\"" + std::to_string(originSequence) + "\" />";
}

// The status-200 reply of a "ReplicationRecordList" holding the elements.
inline std::string ReplicationAnswer(const std::string& records) {
    return MakeHTTPReply("<?xml version=\"1.0\"?>\r\n<ReplicationRecordList>" + records + "</ReplicationRecordList>");
}
