// Decoding of quoted-printable lines (a MIME transfer encoding) into lines of bytes.
//
// QuotedPrintableLineMaker is a LineReceiver between a line source (a LineMaker) and a target
// LineReceiver: "=" and two hex digits of either case become that byte, an "=" not followed by two hex
// digits passes as text, and the spaces and tabs at the end of each line are removed. A line may
// arrive in pieces cut anywhere, also inside an escape or a run of blanks: the result is the same.
// A line ending in a lone "=" (a MIME soft line break) is passed on as "=" and the end of the line.
//
// Blanks at the end of a piece are held until the line shows whether more text follows them; a run
// of blanks is held whole however long it is, so the memory held grows with the longest run.
//
// The target is not owned and is set before Begin. The decoder also owns a Base64DecodingDataMaker
// and a LineFlattener; SelectDecoder wires one of the three stages in for a MIME body by its transfer
// encoding.
#pragma once

#include <cstdint>
#include <string>

#include "base/data_pipeline.h"
#include "formats/base64_codec.h"
#include "foundation/line_maker.h"

class QuotedPrintableLineMaker : public LineReceiver {
  public:
    void SetTarget(LineReceiver& target) { m_target = &target; }

    Base64DecodingDataMaker& Base64Decoding() { return m_base64Decoding; }
    LineFlattener& Flattener() { return m_flattener; }

    // The stage that decodes body lines in the transfer encoding into `target` (not owned), compared
    // byte for byte with the lower-case names: "base64" gives the Base64 decoder; "quoted-printable"
    // this decoder, writing its lines through the flattener; any other value (such as "7bit",
    // "8bit", "" or "Base64") the flattener alone. The flattener writes CR LF after each line.
    LineReceiver& SelectDecoder(ConstData transferEncoding, DataReceiver& target);

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    // Drops the blanks held (they end the line), writes a cut-off escape as text, ends the line.
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    void WritePendingEscapeAsText();
    ConstData CompletePendingEscape(ConstData content);
    void WriteDecoded(ConstData content);
    void WriteText(ConstData text);

    LineReceiver* m_target = nullptr;
    // "=" or "=" and one hex digit cut off at the end of a piece.
    Byte m_pendingEscape[3] = {};
    std::uint8_t m_pendingLength = 0;
    std::string m_heldBlanks;
    Base64DecodingDataMaker m_base64Decoding;
    LineFlattener m_flattener;
};
