#include "formats/multipart_splitter.h"

#include "formats/message_receivers.h"

void MultipartSplitter::SetBoundary(LineReceiver& partReceiver, ConstData boundary) {
    m_partReceiver = &partReceiver;
    OutputRange free(m_delimiter, m_delimiter + sizeof m_delimiter);
    CopyIntoOutputRange(free, ConstDataOfCString("--"));
    CopyIntoOutputRange(free, boundary);
    CopyIntoOutputRange(free, ConstDataOfCString("--"));
    m_delimiterLength = static_cast<std::size_t>(free.begin - m_delimiter);
}

void MultipartSplitter::Begin(std::uint64_t startOffset) {
    m_partState = PartState::BeforeFirstBoundary;
    m_current = &IgnoreLineReceiver::Instance();
    m_comparing = true;
    m_matched = 0;
    m_boundaryWithTrailingText = false;
    m_lineEndHeld = false;
    m_partTextEnd = startOffset;
}

// While a line matches the delimiter nothing is passed on: it may yet be a boundary line. A line
// that keeps to P and then goes on is a boundary line with trailing text; any other difference
// makes it an ordinary line, and what was held for it goes on before the rest.
void MultipartSplitter::ReceiveText(const Byte* begin, const Byte* end) {
    if (m_boundaryWithTrailingText) return;
    if (!m_comparing) {
        m_current->ReceiveText(begin, end);
        return;
    }
    const Byte* p = begin;
    while (p != end && m_matched < m_delimiterLength && *p == m_delimiter[m_matched]) {
        ++p;
        ++m_matched;
    }
    if (p == end) return;
    m_comparing = false;
    if (Unmatched() <= 2) {
        m_boundaryWithTrailingText = true;
        m_trailingTextAfterClosing = Unmatched() == 0;
        return;
    }
    PassOnHeldText();
    m_current->ReceiveText(p, end);
}

void MultipartSplitter::EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) {
    if (m_boundaryWithTrailingText) {
        TakeBoundaryLine(m_trailingTextAfterClosing, terminatorEnd);
    } else if (m_comparing && Unmatched() <= 2) {
        TakeBoundaryLine(Unmatched() == 0, terminatorEnd);
    } else {
        if (m_comparing) PassOnHeldText();
        m_lineEndHeld = true;
        m_heldTerminatorStart = terminatorStart;
        m_heldTerminatorEnd = terminatorEnd;
        m_partTextEnd = terminatorStart;
    }
    m_comparing = m_partState != PartState::AfterClosingBoundary;
    m_matched = 0;
    m_boundaryWithTrailingText = false;
}

// The last line has no line end: a boundary line still counts, an ordinary line's held text goes
// on, and a line end held from the line before is dropped.
void MultipartSplitter::End(std::uint64_t total) {
    if (m_boundaryWithTrailingText) {
        TakeBoundaryLine(m_trailingTextAfterClosing, total);
    } else if (m_comparing && Unmatched() <= 2) {
        TakeBoundaryLine(Unmatched() == 0, total);
    } else if (m_comparing && m_matched != 0) {
        PassOnHeldText();
    }
    m_current->End(total);
}

void MultipartSplitter::PassOnHeldText() {
    if (m_lineEndHeld) m_current->EndLine(m_heldTerminatorStart, m_heldTerminatorEnd);
    m_lineEndHeld = false;
    if (m_matched != 0) m_current->ReceiveText(m_delimiter, m_delimiter + m_matched);
}

void MultipartSplitter::TakeBoundaryLine(bool closing, std::uint64_t nextLineStart) {
    m_current->End(m_partTextEnd);
    m_lineEndHeld = false;
    if (closing) {
        m_partState = PartState::AfterClosingBoundary;
        m_current = &IgnoreLineReceiver::Instance();
    } else {
        m_partState = PartState::InPart;
        m_current = m_partReceiver;
        m_current->Begin(nextLineStart);
    }
    m_partTextEnd = nextLineStart;
}

void SignatureRemover::Begin(std::uint64_t startOffset) {
    if (m_firstPartRunning) m_target->Begin(startOffset);
}

void SignatureRemover::ReceiveText(const Byte* begin, const Byte* end) {
    if (m_firstPartRunning) m_target->ReceiveText(begin, end);
}

void SignatureRemover::EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) {
    if (m_firstPartRunning) m_target->EndLine(terminatorStart, terminatorEnd);
}

void SignatureRemover::End(std::uint64_t total) {
    if (!m_firstPartRunning) return;
    m_firstPartRunning = false;
    m_target->End(total);
}
