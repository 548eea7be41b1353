// The diagnostics page's making-safe of a setting text or site URL over arbitrary bytes: the result
// holds no raw "<", ">" or '"', every "&" starts a reference, and hiding the user info of URLs a
// second time changes nothing.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/program/diagnostics_values.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool StartsReference(std::string_view text, std::size_t at) {
    for (std::string_view reference : {"&amp;", "&lt;", "&gt;", "&quot;"})
        if (text.substr(at, reference.size()) == reference) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string hidden = HideURLUserInfo(text);
    Check(HideURLUserInfo(hidden) == hidden);
    const std::string shown = PageText(text);
    Check(shown.find_first_of("<>\"") == std::string::npos);
    for (std::size_t at = shown.find('&'); at != std::string::npos; at = shown.find('&', at + 1))
        Check(StartsReference(shown, at));
    return 0;
}
