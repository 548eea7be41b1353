// The gather map file readers over arbitrary bytes, read both as the XML file and as the older binary
// file: each either reads or throws, what it reads gives every id to one site only and never id 0,
// and an XML map that reads is written and read back unchanged.

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <set>
#include <string>

#include "foundation/data_stages.h"
#include "relay/gather/gather_map_file.h"

namespace {

void RequireDistinctSiteIDs(const GatherIDMap& ids) {
    std::set<std::uint32_t> seen;
    for (const auto& [url, id] : ids)
        if (id == 0 || !seen.insert(id).second) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ConstData bytes(data, size);
    try {
        const GatherMapContents contents = ReadGatherMapDocument(bytes);
        RequireDistinctSiteIDs(contents.ids);
        std::string written;
        StringReceiver out(written);
        WriteGatherMapDocument(contents, out);
        const GatherMapContents again = ReadGatherMapDocument(ConstData(std::string_view(written)));
        if (again.ids != contents.ids || again.nextID != contents.nextID) std::abort();
    } catch (const DebuggableException&) {
    }
    LegacyGatherMap legacy;
    try {
        ReadLegacyGatherMap(bytes, legacy);
    } catch (const DebuggableException&) {
    }
    RequireDistinctSiteIDs(legacy.ids);
    for (const auto& [url, id] : legacy.ids)
        if (id > legacy.largestID) std::abort();
    return 0;
}
