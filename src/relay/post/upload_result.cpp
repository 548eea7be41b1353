#include "relay/post/upload_result.h"

#include <optional>

#include "base/character_classes.h"
#include "base/numerals.h"

namespace {

constexpr std::string_view kSuccessMark = "Success=";

std::string Numbers(const UploadResult& result) {
    return std::to_string(result.held) + "," + std::to_string(result.throttle) + "," +
           std::to_string(result.chunkSize);
}

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    if (ParseDecimalUInt64(ConstData(text), value) != NumeralStatus::Success) return std::nullopt;
    return value;
}

}  // namespace

std::string FormatUploadResultHeaderLine(const UploadResult& result) {
    return "x-kvr-upload-result: Success=" + Numbers(result) + "\r\n";
}

std::string FormatUploadResultBody(const UploadResult& result) {
    return "Success: " + Numbers(result) + "\r\n";
}

std::variant<UploadResult, UploadResultDefect> ParseUploadResult(std::string_view value) {
    value = Ascii::TrimBlanks(value);
    // The HTTP client hands header values on lower-cased.
    if (!Ascii::EqualIgnoringCase(value.substr(0, kSuccessMark.size()), kSuccessMark))
        return UploadResultDefect::NotSuccess;
    value.remove_prefix(kSuccessMark.size());
    const std::size_t first = value.find(',');
    if (first == std::string_view::npos) return UploadResultDefect::NoFirstComma;
    const std::size_t second = value.find(',', first + 1);
    if (second == std::string_view::npos) return UploadResultDefect::NoSecondComma;
    const auto held = Number(value.substr(0, first));
    const auto throttle = Number(value.substr(first + 1, second - first - 1));
    const auto chunkSize = Number(value.substr(second + 1));
    if (!held || !throttle || !chunkSize) return UploadResultDefect::NotANumber;
    return UploadResult{*held, *throttle, *chunkSize};
}
