// KVRGatherError: a gather-mirror command that is answered with a message page instead of site
// data. It carries the page's message and the mirror status that programs read from the reply's
// "x-kvr-gather-mirror-status" header ("<code>" or "<code>,<detail>"); the codes are in
// GatherMirrorStatus.
//
// The gather-mirror plug-ins throw it from their commands and turn it into the page at their
// dispatch; it never leaves a request.
#pragma once

#include <cstdint>
#include <string>

#include "base/exceptions.h"

namespace GatherMirrorStatus {
// Not an error: the version page, or a command that was carried out.
inline constexpr std::uint32_t kSuccess = 1;
// "Unknown command.", "No url parameter in URL query!", "invalid command".
inline constexpr std::uint32_t kUnknownCommand = 6;
// "Missing required parameter(s)." and the texts naming the missing parameter.
inline constexpr std::uint32_t kMissingParameter = 7;
// "Incorrect submit method."
inline constexpr std::uint32_t kIncorrectMethod = 9;
// The site has no copy here yet: its first gather was queued.
inline constexpr std::uint32_t kFirstGatherQueued = 19;
// The client expects a version the relay does not hold and the root confirms: a gather was queued.
inline constexpr std::uint32_t kVersionConflictGatherQueued = 22;
}  // namespace GatherMirrorStatus

class KVRGatherError : public ExceptionPL {
  public:
    KVRGatherError(std::string message, std::uint32_t code, std::uint32_t detail = 0)
        : ExceptionPL(std::move(message)), m_code(code), m_detail(detail) {}

    std::uint32_t Code() const { return m_code; }
    std::uint32_t Detail() const { return m_detail; }

  private:
    std::uint32_t m_code;
    std::uint32_t m_detail;
};
