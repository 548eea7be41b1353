#include "relay/download/download_response.h"

#include <tuple>

#include "base/numerals.h"
#include "relay/download/versioned_object_list.h"
#include "relay/service/download_request_target.h"

namespace {

constexpr std::string_view kAbsent = "null";

struct DownloadResponseParser {
    using Object = DownloadResponse;
    static DownloadResponse Parse(std::string_view line) { return ParseDownloadResponse(line); }
};

const char* StatusText(DownloadResponseStatus status) {
    switch (status) {
        case DownloadResponseStatus::Available:
            return "Available";
        case DownloadResponseStatus::InProcess:
            return "InProcess";
    }
    return "Unknown";
}

template <class T>
std::string NumberText(const std::optional<T>& value) {
    return value ? std::to_string(*value) : std::string(kAbsent);
}

// A key that sorts a present value first, then by the value.
template <class T>
std::pair<bool, T> PresentFirst(const std::optional<T>& value) {
    return {!value.has_value(), value.value_or(T())};
}

std::pair<bool, std::string_view> PresentFirst(const std::optional<DigestRecord>& hash) {
    return {!hash.has_value(), hash ? hash->Bytes().View() : std::string_view()};
}

}  // namespace

bool DownloadResponseLess::operator()(const DownloadResponse& a, const DownloadResponse& b) const {
    return std::tuple(PresentFirst(a.hash), PresentFirst(a.actionID), PresentFirst(a.index), a.status) <
           std::tuple(PresentFirst(b.hash), PresentFirst(b.actionID), PresentFirst(b.index), b.status);
}

std::string FormatDownloadResponse(const DownloadResponse& response) {
    return "aid=" + NumberText(response.actionID) + ",index=" + NumberText(response.index) +
           ",hash=" + (response.hash ? response.hash->ToHex() : std::string(kAbsent)) +
           ",status=" + StatusText(response.status);
}

DownloadResponse ParseDownloadResponse(std::string_view line) {
    const auto number = [line](std::optional<std::string_view> value) -> std::optional<std::uint32_t> {
        if (!value) return std::nullopt;
        std::uint32_t parsed = 0;
        if (ParseDecimalUInt32(ConstData(*value), parsed) != NumeralStatus::Success)
            throw NotADownloadResponse(std::string(line));
        return parsed;
    };
    try {
        PositionalValueReader values(line);
        DownloadResponse response;
        response.actionID = number(values.Next());
        response.index = number(values.Next());
        if (const std::optional<std::string_view> hash = values.Next()) {
            response.hash = Sha1FromHexText(*hash);
            if (!response.hash) throw NotADownloadResponse(std::string(line));
        }
        const std::optional<std::string_view> status = values.Next();
        if (status == "Available")
            response.status = DownloadResponseStatus::Available;
        else if (status == "InProcess" || status == "NotAvailable")
            response.status = DownloadResponseStatus::InProcess;
        else
            throw NotADownloadResponse(std::string(line));
        if (!response.hash && !response.actionID) throw NotADownloadResponse(std::string(line));
        return response;
    } catch (const NextValueException&) {
        throw NotADownloadResponse(std::string(line));
    }
}

std::vector<DownloadResponse> ReadDownloadResponseList(DataReader& reader) {
    std::vector<DownloadResponse> responses;
    VersionedObjectListReceiver<DownloadResponseParser> receiver(responses);
    PumpLines(reader, receiver);
    return responses;
}

void WriteDownloadResponseList(const std::vector<DownloadResponse>& responses, DataReceiver& receiver) {
    WriteVersionedObjectList(responses, receiver, FormatDownloadResponse);
}
