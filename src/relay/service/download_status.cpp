#include "relay/service/download_status.h"

namespace {

constexpr const char* kDownloadStateNames[kDownloadStateStatusCount] = {
    "NEW", "REQUEST_SUBMITTED", "DOWNLOADING", "COMPLETED", "FAILED", "QUEUED", "SUSPENDED",
};

constexpr const char* kMirrorActionStatusNames[] = {"Failed", "Ready", "InProgress", "Pending"};

constexpr const char* kDownloadErrorKindNames[] = {"DownloadWhitelistFailure", "RemovedFromCache", "Generic"};

// The name of an enumerator from its table. The two enumerations below are never made from input,
// so a number outside the table is a programming error.
template <class Enumeration, std::size_t count>
const char* NameFromTable(const char* const (&names)[count], Enumeration value) {
    const auto number = static_cast<std::uint32_t>(value);
    KVR_REQUIRE(number < count);
    return names[number];
}

}  // namespace

// A state is made from a stored number, so an unknown one is bad input, not a programming error.
const char* DownloadStateName(DownloadStateStatus status) {
    const auto number = static_cast<std::uint32_t>(status);
    if (number >= kDownloadStateStatusCount) throw InvalidDownloadStateStatus();
    return kDownloadStateNames[number];
}

DownloadStateStatus DownloadStateStatusFromNumber(std::uint32_t number) {
    if (number >= kDownloadStateStatusCount) throw InvalidDownloadStateStatus();
    return static_cast<DownloadStateStatus>(number);
}

const char* DownloadMirrorActionStatusName(DownloadMirrorActionStatus status) {
    return NameFromTable(kMirrorActionStatusNames, status);
}

const char* DownloadErrorKindName(DownloadErrorKind kind) {
    return NameFromTable(kDownloadErrorKindNames, kind);
}
