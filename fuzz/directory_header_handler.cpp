// The reading of a site directory reply's head over arbitrary text: no value runs past its line; and
// a URL rebuilt on the request's address starts with that address, unless it comes back as given.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/gather/directory_header_handler.h"

namespace {

constexpr std::string_view kRequestURL = "http://127.0.0.1:52311/cgi-bin/gather?url=x&Time=1";
constexpr std::string_view kRequestOrigin = "http://127.0.0.1:52311/";

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckURL(const std::string& url) {
    Check(url.find_first_of("\r\n") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The handlers take the head as a NUL-terminated text.
    std::string head(reinterpret_cast<const char*>(data), size);
    head = head.substr(0, head.find('\0'));
    DirectoryHeaderHandler handler("", 0, true);
    handler.ReceiveResponseHeaders(head.c_str());
    Check(handler.GetDirectoryServerDate().find_first_of("\r\n") == std::string::npos);
    CheckURL(handler.GetLocalAddress(kRequestURL));
    CheckURL(handler.GetDiffSiteURL(kRequestURL));
    CheckURL(handler.GetFullSiteURL(kRequestURL));
    CheckURL(handler.GetMDirListURL(kRequestURL));
    CheckURL(handler.GetAllDiffsURL(kRequestURL));
    CheckURL(handler.GetSingleFullSiteURL(kRequestURL));

    const std::string_view firstLine = std::string_view(head).substr(0, head.find_first_of("\r\n"));
    const std::string rebuilt = RehostURL(firstLine, kRequestURL);
    Check(rebuilt == firstLine || rebuilt.starts_with(kRequestOrigin));
    return 0;
}
