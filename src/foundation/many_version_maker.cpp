#include "foundation/many_version_maker.h"

#include <algorithm>

#include "base/character_classes.h"

DataReceiver& ManyVersionMaker::GetReceiver(ManyVersionList& output) {
    m_lexer.m_output = &output;
    return m_lexer;
}

void ManyVersionMaker::Lexer::Begin() {
    m_run = Run::None;
    m_numeral = 0;
    m_numeralOverflowed = false;
    m_count = 0;
}

void ManyVersionMaker::Lexer::Receive(const Byte* begin, const Byte* end) {
    for (const Byte* p = begin; p != end && m_run != Run::IgnoredRest; ++p) Take(*p);
}

void ManyVersionMaker::Lexer::End() {
    if (m_run == Run::Numeral) EndNumeral();
    std::fill(m_output->begin() + m_count, m_output->end(), 0);
}

void ManyVersionMaker::Lexer::Take(Byte c) {
    if (Ascii::Digits().Contains(c)) {
        const unsigned digit = c - '0';
        if (m_numeral > (UINT64_MAX - digit) / 10)
            m_numeralOverflowed = true;  // later digits still belong to it
        m_numeral = m_numeral * 10 + digit;
        m_run = Run::Numeral;
        return;
    }
    if (m_run == Run::Numeral) EndNumeral();
    if (c != ',' && !Ascii::Whitespace().Contains(c)) m_run = Run::IgnoredRest;
}

void ManyVersionMaker::Lexer::EndNumeral() {
    if (m_count < kManyVersionCount)
        (*m_output)[m_count++] = m_numeralOverflowed ? UINT32_MAX : static_cast<std::uint32_t>(m_numeral);
    m_run = Run::None;
    m_numeral = 0;
    m_numeralOverflowed = false;
}
