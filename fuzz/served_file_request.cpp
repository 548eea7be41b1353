// A static-file request's path and "Range" value from the network: resolving the path under the root
// must never throw or crash, and a file it names always lies below the root, one valid name per
// component, with no control byte anywhere; the range start never throws.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/character_classes.h"
#include "base/file_name.h"
#include "http/served_file_request.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr std::string_view kRoot = "/srv/root";

void CheckPath(ConstData input) {
    std::optional<FileLocation> file = ResolveServedFilePath(FileLocation(kRoot.data(), kRoot.size()), input);
    if (!file) return;
    std::string_view text = file->GetConstData().View();
    Check(text.starts_with(kRoot));
    Check(text.size() == kRoot.size() || text[kRoot.size()] == '/');
    for (char c : text) Check(!Ascii::Control().Contains(static_cast<Byte>(c)) && c != '\\');
    for (std::string_view rest = text.substr(kRoot.size()); !rest.empty();) {
        rest.remove_prefix(1);
        std::string_view segment = rest.substr(0, rest.find('/'));
        Check(IsValidFileName(segment) && segment != "." && segment != "..");
        rest.remove_prefix(segment.size());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConstData input(data, size);
    CheckPath(input);
    RangeStart(input);
    return 0;
}
