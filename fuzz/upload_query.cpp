// The post-file query reader over arbitrary bytes: it refuses only with UploadRefused, and what it
// accepts is a range that fits its total and names that each stay one file inside their folder, so
// no query can lead a partial file or a finished upload out of the folders the relay keeps them in.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/file_name.h"
#include "relay/post/upload_query.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckName(const std::optional<std::string>& value) {
    if (!value) return;
    Check(value->size() < FileName::kMaximumConcatenatedLength);
    Check(IsValidFileName(*value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    UploadQuery query;
    try {
        query = ParseUploadQuery(text);
    } catch (const UploadRefused&) {
        return 0;
    }
    Check(query.start <= query.end);
    Check(query.total == 0 || query.end < query.total);
    Check(query.ChunkLength() >= 1);
    CheckName(query.guid);
    CheckName(query.wwwname);
    if (query.sha1 && !query.sha1->empty()) {
        CheckName(query.sha1);
        Check(query.sha1->find_first_of("./\\:") == std::string::npos);
    }
    try {
        CheckHashAndSize(query);
        Check(query.sha1 && !query.sha1->empty() && query.total != 0);
    } catch (const UploadRefused&) {
    }
    return 0;
}
