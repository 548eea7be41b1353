#include "relay/gather/fetch_result.h"

#include <string_view>

namespace {

constexpr std::int32_t kNotModified = 304;

// The codes' texts; the "interupted" of code 4 is how the product has always spelt it.
constexpr std::string_view kCodeTexts[] = {
    "Success.",
    "Unexpected remote directory listing error.",
    "Invalid URL.",
    "Undefined error condition.",
    "User interupted process.",
    "Expected a directory listing. The 'location' in the masthead may be a web site.",
    "Unable to copy file from directory site.",
    "Unable to create the site.",
    "Server is not available, try again later.",
    "Server reports that authentication failed.",
    "Server reports that the location does not exist.",
    {},  // 11 and 12: by the detail code
    {},
    {},  // 13: with the detail code
    "Local directory creation error.",
    "Unable to delete, move, or set attributes of file during site synchronization.",
    "Server returning old data, try again later.",
    "Content checksum error.",
    "Content length error.",
    "Veltra could not verify the authenticity of the site content.",
    "The signer's credentials have been revoked.",
    "Active action prevents gather.",
    "Action parsing error.",
    "Unable to open/write/read local file.",
    "General transport failure.",
    "Site data corrupted.",
    "Socket hung error.",
};

// The platform download service's error numbers that codes 11 and 12 name.
struct PlatformFailure {
    std::uint32_t detailCode;
    std::string_view text;
};
constexpr PlatformFailure kPlatformFailures[] = {
    {0x800C0003, "Windows reports 'No Session' failure"},
    {0x800C0004, "Windows reports 'Cannot Connect' failure"},
    {0x800C0007, "Windows reports 'Data Not Available' failure"},
    {0x800C0008, "Windows reports 'Download' failure"},
    {0x800C000A, "Windows reports 'No Valid Media' failure"},
    {0x800C000B, "Windows reports 'Connection timeout' failure"},
    {0x800C000C, "Windows reports 'Invalid Request' failure"},
    {0x800C000D, "Windows reports 'Unknown Protocol' failure"},
    {0x800C000E, "Windows reports 'Security' failure"},
    {0x800C000F, "Windows reports 'Load' failure"},
    {0x800C0010, "Windows reports 'Instantiate' failure"},
};

std::string UnknownPlatformFailureText(std::int32_t detailCode) {
    return "Windows reports unknown failure (" + std::to_string(detailCode) + ")";
}

std::string PlatformFailureText(std::int32_t detailCode) {
    for (const PlatformFailure& failure : kPlatformFailures) {
        if (failure.detailCode == static_cast<std::uint32_t>(detailCode)) return std::string(failure.text);
    }
    return UnknownPlatformFailureText(detailCode);
}

}  // namespace

std::string FetchResult::Text() const {
    if (httpStatusKnown && httpStatus == kNotModified) return "HTTP 304 Error (Cache prevents delivery of new data)";
    switch (resultCode) {
        case FetchResultCode::kPlatformFailure:
        case FetchResultCode::kPlatformTimeout:
            return PlatformFailureText(detailCode);
        case FetchResultCode::kUnknownPlatformFailure:
            return UnknownPlatformFailureText(detailCode);
        default:
            break;
    }
    constexpr auto kCodeCount = static_cast<std::int32_t>(std::size(kCodeTexts));
    if (resultCode < 0 || resultCode >= kCodeCount) return "Unknown Error Condition";
    return std::string(kCodeTexts[resultCode]);
}

std::string FetchResult::FullText() const {
    if (message.empty()) return Text();
    return Text() + "\r\n" + message;
}
