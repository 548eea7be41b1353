#include "foundation/integer_maker.h"

#include "base/character_classes.h"
#include "base/const_data.h"

void IntegerMaker::Begin() {
    m_value = 0;
    m_sawDigit = false;
    m_bad = false;
}

void IntegerMaker::Receive(const Byte* begin, const Byte* end) {
    for (const Byte* p = begin; p != end && !m_bad; ++p) {
        if (Ascii::Blanks().Contains(*p)) continue;
        const std::uint32_t digit = *p - '0';
        if (!Ascii::Digits().Contains(*p) || !MultiplyFitsIn32(m_value, 10) ||
            !AddFitsIn32(m_value * 10, digit)) {
            m_bad = true;
            return;
        }
        m_value = m_value * 10 + digit;
        m_sawDigit = true;
    }
}

void IntegerMaker::End() {
    if (m_target != nullptr && m_sawDigit && !m_bad) *m_target = m_value;
}
