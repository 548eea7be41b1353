// KVRGatherError: a gather-mirror command refused, with the message and mirror status of its page.
#pragma once

#include <cstdint>

#include "base/exceptions.h"

inline constexpr std::uint32_t kGatherVersionPage = 1;
inline constexpr std::uint32_t kGatherUnknownCommand = 6;
inline constexpr std::uint32_t kGatherMissingParameters = 7;
inline constexpr std::uint32_t kGatherIncorrectMethod = 9;
inline constexpr std::uint32_t kGatherFirstGather = 19;
inline constexpr std::uint32_t kGatherVersionMismatch = 22;

class KVRGatherError : public ExceptionPL {
  public:
    KVRGatherError(const char* message, std::uint32_t code) : ExceptionPL(message), m_code(code) {}
    std::uint32_t Code() const { return m_code; }

  private:
    std::uint32_t m_code;
};
