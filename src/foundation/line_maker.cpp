#include "foundation/line_maker.h"

namespace {
constexpr Byte kCR = '\r';
constexpr Byte kLF = '\n';
}  // namespace

void LineMaker::Begin() {
    m_position = 0;
    m_pendingLineEnd = 0;
    m_receiver->Begin(m_position);
}

// A CR or LF at the end of the text seen so far is held back until the next byte shows whether it is
// the first half of a two-byte line end; that is what lets a line end cut between chunks be joined.
void LineMaker::Receive(const Byte* begin, const Byte* end) {
    const Byte* p = begin;
    while (p != end) {
        if (m_pendingLineEnd != 0) {
            std::uint64_t length = 1;
            if ((*p == kLF && m_pendingLineEnd == kCR) || (*p == kCR && m_pendingLineEnd == kLF)) {
                length = 2;
                ++p;
            }
            m_receiver->EndLine(m_position, m_position + length);
            m_position += length;
            m_pendingLineEnd = 0;
            continue;
        }
        const Byte* text = p;
        while (p != end && *p != kCR && *p != kLF) ++p;
        if (p != text) {
            m_receiver->ReceiveText(text, p);
            m_position += static_cast<std::uint64_t>(p - text);
        }
        if (p != end) m_pendingLineEnd = *p++;
    }
}

void LineMaker::End() {
    if (m_pendingLineEnd != 0) {
        m_receiver->EndLine(m_position, m_position + 1);
        m_position += 1;
        m_pendingLineEnd = 0;
    }
    m_receiver->End(m_position);
}

void LineFlattener::Begin(std::uint64_t) {
    m_target->Begin();
}

void LineFlattener::ReceiveText(const Byte* begin, const Byte* end) {
    m_target->Receive(begin, end);
}

void LineFlattener::EndLine(std::uint64_t, std::uint64_t) {
    m_target->Receive(m_separator);
}

void LineFlattener::End(std::uint64_t) {
    m_target->End();
    m_target = nullptr;
}

void PumpLines(DataReader& reader, LineReceiver& lineReceiver) {
    LineMaker maker(lineReceiver);
    PumpData(reader, maker);
}
