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
#include <limits>

#include "base/character_classes.h"
#include "base/data_pipeline.h"

// The reading both IntegerMaker and the 64-bit Uint64Maker (formats/value_receivers.h) do: decimal
// digits with blanks skipped, bad at the first other byte or when the value would exceed Unsigned.
template <class Unsigned>
class DecimalAccumulator {
  public:
    void Begin() {
        m_value = 0;
        m_sawDigit = false;
        m_bad = false;
    }
    void Receive(const Byte* begin, const Byte* end) {
        for (const Byte* p = begin; p != end && !m_bad; ++p) {
            if (Ascii::Blanks().Contains(*p)) continue;
            if (!Ascii::Digits().Contains(*p)) {
                m_bad = true;
                return;
            }
            const Unsigned digit = *p - '0';
            if (m_value > (std::numeric_limits<Unsigned>::max() - digit) / 10) {
                m_bad = true;
                return;
            }
            m_value = m_value * 10 + digit;
            m_sawDigit = true;
        }
    }
    // Stores the value when there is a target, at least one digit came and the text is not bad.
    void End(Unsigned* target) const {
        if (target != nullptr && HasValue()) *target = m_value;
    }
    // At least one digit came and the text is not bad; Value() is then the number read.
    bool HasValue() const { return m_sawDigit && !m_bad; }
    Unsigned Value() const { return m_value; }

  private:
    Unsigned m_value = 0;
    bool m_sawDigit = false;
    bool m_bad = false;
};

class IntegerMaker : public DataReceiver {
  public:
    explicit IntegerMaker(std::uint32_t* target = nullptr) : m_target(target) {}
    void SetTarget(std::uint32_t* target) { m_target = target; }

    void Begin() override { m_digits.Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_digits.Receive(begin, end); }
    void End() override { m_digits.End(m_target); }
    // After End: the text was a number (and the target, when set, received it).
    bool HasValue() const { return m_digits.HasValue(); }

  private:
    std::uint32_t* m_target;
    DecimalAccumulator<std::uint32_t> m_digits;
};
