// The reader of a Replicate answer over arbitrary bytes: it either gives records or fails with an
// exception of the program's own, and a failed answer leaves no records behind.

#include <cstdint>
#include <cstdlib>

#include "relay/register/replication_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    XMLTreeParserPL parser;
    parser.Receive(reinterpret_cast<const char*>(data), size);
    ListPL<ReplicationRecord> records;
    try {
        ReadReplicationRecords(parser, records);
    } catch (const ExceptionPL&) {
        if (!records.IsEmpty()) std::abort();
        return 0;
    }
    for (const ReplicationRecord& record : records)
        if (!record.relayAddress || record.address != IPAddress(0, 0, 0, 0)) std::abort();
    return 0;
}
