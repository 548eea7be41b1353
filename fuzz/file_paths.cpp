// Path texts from the network and from settings: resolving a relative path below a base must never
// crash and never leave the base, and every location and name built from the bytes keeps its rules.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/file_location.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr std::string_view kBase = "/srv/root";

void CheckResolved(ConstData input) {
    try {
        FileLocation resolved = ResolveRelativePath(FileLocation(kBase.data(), kBase.size()), input);
        std::string_view text = resolved.GetConstData().View();
        Check(text.starts_with(kBase));
        Check(text.size() == kBase.size() || text[kBase.size()] == '/');
        for (std::string_view rest = text.substr(kBase.size()); !rest.empty();) {
            rest.remove_prefix(1);
            std::string_view segment = rest.substr(0, rest.find('/'));
            Check(IsValidFileName(segment));
            rest.remove_prefix(segment.size());
        }
    } catch (const IllegalFileName&) {
    } catch (const IllegalFileNameLength&) {
    }
}

void CheckLocation(ConstData input) {
    FileLocation location(input);
    std::string_view text = location.GetConstData().View();
    Check(text.find('\0') == std::string_view::npos);
    Check(text.size() <= 1 || text.back() != '/');
    try {
        if (!location.IsEmpty() && !location.IsRoot())
            Check(location.GetParent().Length() < location.Length());
    } catch (const InvalidFileLocation&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConstData input(data, size);
    CheckResolved(input);
    CheckLocation(input);
    return 0;
}
