// The reader of a parent's "x-kvr-upload-result" value over arbitrary bytes: it never throws, and a
// value it accepts is written back by the plug-in's own writer as a value that reads the same.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "relay/post/upload_result.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto parsed = ParseUploadResult(std::string_view(reinterpret_cast<const char*>(data), size));
    const UploadResult* result = std::get_if<UploadResult>(&parsed);
    if (!result) return 0;
    std::string line = FormatUploadResultHeaderLine(*result);
    const std::string prefix = "x-kvr-upload-result: ";
    Check(line.starts_with(prefix) && line.ends_with("\r\n"));
    const auto again = ParseUploadResult(line.substr(prefix.size(), line.size() - prefix.size() - 2));
    Check(std::holds_alternative<UploadResult>(again) && std::get<UploadResult>(again) == *result);
    return 0;
}
