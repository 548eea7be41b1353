// The replication server list's reader over arbitrary XML bytes: every server element either reads
// or fails with one of the readers' own errors, and a server that reads has a URL ending in "/".

#include <cstdint>
#include <cstdlib>

#include "formats/xml_tree_parser.h"
#include "relay/register/replication_server_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    XMLTreeParserPL parser;
    parser.Receive(reinterpret_cast<const char*>(data), size);
    if (parser.Root() == nullptr) return 0;
    for (const XMLElementPL& element : parser.Root()->Children()) {
        try {
            ReplicationServer server = ReadReplicationServer(element);
            if (server.serverURL.empty() || server.serverURL.back() != '/') std::abort();
        } catch (const DebuggableException&) {
        }
    }
    return 0;
}
