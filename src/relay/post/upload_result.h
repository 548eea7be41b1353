// The answer to an upload range: the post-file plug-in (post_file_plugin.h) writes it, the upload
// manager (upload_manager.h) reads it from its parent. Both sides speak the same three numbers:
//
//   x-kvr-upload-result: Success=<held>,<throttle>,<chunk size>       the header line
//   Success: <held>,<throttle>,<chunk size>                            the plain-text body
//
//   held        bytes of the upload the server now holds: where the next range must start (after a
//               finished upload, the total size)
//   throttle    bytes per second the sender should keep to (0: no limit)
//   chunk size  bytes per range the server asks for (0: the sender's own choice)
// All unsigned decimal.
//
// Values only; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

struct UploadResult {
    std::uint64_t held = 0;
    std::uint64_t throttle = 0;
    std::uint64_t chunkSize = 0;

    friend bool operator==(const UploadResult&, const UploadResult&) = default;
};

// The response header's name as the HTTP client asks for it (lower case, with its colon).
inline constexpr const char* kUploadResultHeader = "x-kvr-upload-result:";

// "x-kvr-upload-result: Success=..." with its CR LF.
std::string FormatUploadResultHeaderLine(const UploadResult& result);
// "Success: ..." with its CR LF.
std::string FormatUploadResultBody(const UploadResult& result);

// Why a header value is not a result; the upload manager's status text says it.
enum class UploadResultDefect {
    NotSuccess,      // missing, or not beginning with "Success="
    NoFirstComma,
    NoSecondComma,
    NotANumber,      // a field that is no unsigned 64-bit decimal numeral
};

// The value of the header, blanks around it and the case of "Success" ignored.
std::variant<UploadResult, UploadResultDefect> ParseUploadResult(std::string_view value);
