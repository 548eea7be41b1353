// The response-head reading of the main HTTP client's handlers over arbitrary text: the content
// length is unknown exactly when it is 0, and a captured field value never runs past its line.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "http/header_handler.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool HoldsLineEnd(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The handlers take the head as a NUL-terminated text.
    std::string head(reinterpret_cast<const char*>(data), size);
    head = head.substr(0, head.find('\0'));
    std::uint64_t told = 0;
    HeaderHandler handler([&told](std::uint64_t length) { told = length; }, "Veltra Lumeroft");
    handler.ReceiveResponseHeaders(head.c_str());
    Check(handler.IsContentLengthUnknown() == (handler.GetContentLength() == 0));
    Check(told == handler.GetContentLength());

    ReplaceRequestHeaderHandler replacing("", "x-veltra-result:");
    replacing.ReceiveResponseHeaders(head.c_str());
    Check(!HoldsLineEnd(replacing.GetWantedHeaderValue()) && !HoldsLineEnd(replacing.GetDateValue()));
    return 0;
}
