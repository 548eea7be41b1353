// The "content-range" value of a download reply from the parent over hostile text: it may only be
// refused with BadContentRangeHeader, and a range it accepts ends at its total and reads back the same
// when written again.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "relay/download/relay_download_http_handler.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const ContentRange range = ParseContentRange(ConstData(data, size));
        Check(range.total != 0 && range.last + 1 == range.total);
        const std::string written = "bytes " + std::to_string(range.first) + "-" + std::to_string(range.last) + "/" +
                                    std::to_string(range.total);
        const ContentRange again = ParseContentRange(ConstData(std::string_view(written)));
        Check(again.first == range.first && again.last == range.last && again.total == range.total);
    } catch (const BadContentRangeHeader&) {
    }
    return 0;
}
