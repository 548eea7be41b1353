// IntegerMaker: reads a decimal unsigned 32-bit number written into it, such as a header's size or
// version, and stores it in the target at End.
//
// Blanks (space, tab) are skipped wherever they stand ('4 2' is 42); any other non-digit, or a value
// above 4294967295, makes the text bad. At End the target receives the value only when a target is
// set, at least one digit came and the text is not bad; otherwise the target keeps its value, and
// that is how a caller sees the failure. The text may arrive in chunks cut anywhere. One thread at a
// time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class IntegerMaker : public DataReceiver {
  public:
    explicit IntegerMaker(std::uint32_t* target = nullptr) : m_target(target) {}
    void SetTarget(std::uint32_t* target) { m_target = target; }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  private:
    std::uint32_t* m_target;
    std::uint32_t m_value = 0;
    bool m_sawDigit = false;
    bool m_bad = false;
};
