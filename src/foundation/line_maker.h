// Cutting a byte stream into lines, and writing lines back as a byte stream.
//
// LineMaker is a DataReceiver that feeds a LineReceiver. It accepts every common line end: CR LF and
// LF CR are one line end each; a lone CR or LF, and each byte of CR CR or LF LF, is one line end. A
// line end split across two chunks is still recognised, and each EndLine carries the exact 64-bit
// stream positions of the terminator. No line is buffered: text reaches the receiver in the pieces in
// which it arrives, so one line may come in several ReceiveText calls, and an empty line gives an
// EndLine with no ReceiveText.
//
// LineFlattener is the reverse: a LineReceiver that writes the text into a DataReceiver and each line
// end as a fixed separator text.
//
// Neither owns its receiver; the separator text must outlive the flattener.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class LineMaker : public DataReceiver, public DataWriter {
  public:
    LineMaker() = default;
    explicit LineMaker(LineReceiver& receiver) : m_receiver(&receiver) {}

    void SetReceiver(LineReceiver& receiver) { m_receiver = &receiver; }

    // Resets the position and calls the receiver's Begin(0).
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    // Reports a line end still pending as one byte long, then the receiver's End(total bytes).
    void End() override;

  private:
    LineReceiver* m_receiver = nullptr;
    std::uint64_t m_position = 0;
    Byte m_pendingLineEnd = 0;
};

class LineFlattener : public LineReceiver {
  public:
    LineFlattener() = default;
    LineFlattener(DataReceiver& target, ConstData separator) : m_separator(separator), m_target(&target) {}

    void SetUp(DataReceiver& target, ConstData separator) {
        m_target = &target;
        m_separator = separator;
    }

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    // Writes the separator in place of the line end.
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    // Ends the target and forgets it.
    void End(std::uint64_t total) override;

  private:
    ConstData m_separator;
    DataReceiver* m_target = nullptr;
};

// PumpData from the reader through a LineMaker into the line receiver.
void PumpLines(DataReader& reader, LineReceiver& lineReceiver);
