// SiteGatherStatus: the gather state's answer to "how is this site?" (GatherState::GetStatus): a
// code, its message, the committed version and a time. A plain value; a fresh one has code 0, an
// empty message, version 0 and the current time.
#pragma once

#include <cstdint>
#include <string>

#include "base/time_value.h"
#include "foundation/clocks.h"

namespace SiteGatherStatusCode {
// A gather of the site is queued or running: "Gather in progress."
inline constexpr std::uint32_t kGatherInProgress = 2;
// The site is available; the time is when its last gather completed: "Site available."
inline constexpr std::uint32_t kSiteAvailable = 4;
// No site id is known for the URL: "GetStatus: Unable to find site id for URL: <URL>"
inline constexpr std::uint32_t kNoSiteID = 16;
// The last gather failed (its text is the message), or the record's state is unknown ("Unknown error.").
inline constexpr std::uint32_t kGatherError = 18;
}  // namespace SiteGatherStatusCode

struct SiteGatherStatus {
    std::string message;
    std::uint32_t code = 0;
    std::uint32_t committedVersion = 0;
    TimeValue time = GetCurrentUTCTime();
};
