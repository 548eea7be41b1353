// The GatherState.xml reader over arbitrary bytes: it either reads or throws one of its own errors,
// no record reads as pending, and what reads is written and read back to the same document.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/data_stages.h"
#include "relay/gather/gather_state_file.h"

namespace {

std::string Written(const GatherStateContents& contents) {
    std::string text;
    StringReceiver out(text);
    WriteGatherStateDocument(contents, out);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    GatherStateContents contents;
    try {
        contents = ReadGatherStateDocument(ConstData(data, size));
    } catch (const DebuggableException&) {
        return 0;
    }
    for (const auto& [siteID, record] : contents.records)
        if (record.IsPending()) std::abort();
    std::string written;
    try {
        written = Written(contents);
    } catch (const DebuggableException&) {
        // An epoch beyond the year 9999 reads but has no time text: the save fails, the state stays.
        return 0;
    }
    if (Written(ReadGatherStateDocument(ConstData(std::string_view(written)))) != written) std::abort();
    return 0;
}
