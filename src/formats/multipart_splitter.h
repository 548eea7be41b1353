// Multipart bodies: MultipartSplitter finds the boundary lines of a MIME multipart body that arrives
// as lines (a LineMaker, or the body of a MessageMaker) and replays each part, as a fresh Begin ...
// End sequence of lines, into one part receiver. SignatureRemover, put in as that part receiver for
// a multipart/signed body, passes on the first part (the signed content) and drops the rest.
//
// With D the delimiter "--" boundary "--" (held in 80 bytes: a boundary of more than 76 bytes loses
// some or all of the closing "--", one of more than 78 is itself cut) and P the boundary line
// "--" boundary (D without its last two bytes), a line is a boundary line when it starts with P;
// one that starts with all of D closes the body. Text after the boundary on its line is dropped.
// The comparison is byte-exact and may be cut across any number of chunks.
//
// What is delivered:
// - the preamble (before the first boundary line) and the epilogue (after the closing one) are
//   dropped;
// - the line end before a boundary line belongs to the boundary: a part whose text is one line shows
//   that line without a final EndLine;
// - a line that only starts like the boundary is delivered whole, prefix included;
// - a body that ends without a closing boundary ends its last part at End, dropping a final line
//   end;
// - offsets: a part begins where the line after its boundary line begins and ends where the text of
//   its last line ends.
//
// Neither owns its receiver. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class MultipartSplitter : public LineReceiver {
  public:
    // Without a boundary; SetBoundary gives it one before use.
    MultipartSplitter() = default;
    MultipartSplitter(LineReceiver& partReceiver, ConstData boundary) { SetBoundary(partReceiver, boundary); }

    void SetBoundary(LineReceiver& partReceiver, ConstData boundary);

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    enum class PartState { BeforeFirstBoundary, InPart, AfterClosingBoundary };

    std::size_t Unmatched() const { return m_delimiterLength - m_matched; }
    // The line so far turned out ordinary: the held line end and the matched bytes go on.
    void PassOnHeldText();
    // The line was a boundary line: ends the current part and starts the next, or the epilogue.
    void TakeBoundaryLine(bool closing, std::uint64_t nextLineStart);

    LineReceiver* m_partReceiver = nullptr;
    LineReceiver* m_current = nullptr;
    Byte m_delimiter[80];
    std::size_t m_delimiterLength = 0;
    std::size_t m_matched = 0;
    // The current line is still being compared with the delimiter.
    bool m_comparing = false;
    // The current line is a boundary line with text after the boundary, which is dropped.
    bool m_boundaryWithTrailingText = false;
    bool m_trailingTextAfterClosing = false;
    PartState m_partState = PartState::BeforeFirstBoundary;
    // The line end of the previous line, held until the next line shows whether it is a boundary.
    bool m_lineEndHeld = false;
    std::uint64_t m_heldTerminatorStart = 0;
    std::uint64_t m_heldTerminatorEnd = 0;
    // Where the current part's text ends if a boundary line comes next.
    std::uint64_t m_partTextEnd = 0;
};

// Passes the first Begin ... End sequence on to the target and drops everything after it. The target
// is not owned.
class SignatureRemover : public LineReceiver {
  public:
    explicit SignatureRemover(LineReceiver& target) : m_target(&target) {}

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    LineReceiver* m_target;
    bool m_firstPartRunning = true;
};
