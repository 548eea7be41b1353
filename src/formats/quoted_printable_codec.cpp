#include "formats/quoted_printable_codec.h"

#include "base/character_classes.h"
#include "base/numerals.h"

namespace {

bool IsHexDigit(Byte c) {
    return Ascii::HexDigits().Contains(c);
}
Byte EscapedByte(Byte high, Byte low) {
    return static_cast<Byte>(HexDigitValue(high) * 16 + HexDigitValue(low));
}

const char kFlattenedLineEnd[] = "\r\n";

}  // namespace

LineReceiver& QuotedPrintableLineMaker::SelectDecoder(ConstData transferEncoding, DataReceiver& target) {
    const std::string_view name = transferEncoding.View();
    if (name == "base64") {
        m_base64Decoding.SetTarget(target);
        return m_base64Decoding;
    }
    m_flattener.SetUp(target, ConstDataOfCString(kFlattenedLineEnd));
    if (name != "quoted-printable") return m_flattener;
    SetTarget(m_flattener);
    return *this;
}

void QuotedPrintableLineMaker::Begin(std::uint64_t startOffset) {
    m_pendingLength = 0;
    m_heldBlanks.clear();
    m_target->Begin(startOffset);
}

void QuotedPrintableLineMaker::WriteText(ConstData text) {
    if (!text.IsEmpty()) m_target->ReceiveText(text.begin, text.end);
}

void QuotedPrintableLineMaker::WritePendingEscapeAsText() {
    WriteText(ConstData(m_pendingEscape, m_pendingLength));
    m_pendingLength = 0;
}

// Completes an escape cut off by the previous piece from the start of this one, and returns the rest
// of the content.
ConstData QuotedPrintableLineMaker::CompletePendingEscape(ConstData content) {
    if (m_pendingLength == 2) {
        if (IsHexDigit(content.begin[0])) {
            Byte decoded = EscapedByte(m_pendingEscape[1], content.begin[0]);
            m_pendingLength = 0;
            WriteText(ConstData(&decoded, 1));
            ++content.begin;
            return content;
        }
    } else if (m_pendingLength == 1) {
        if (content.Length() == 1 && IsHexDigit(content.begin[0])) {
            m_pendingEscape[m_pendingLength++] = content.begin[0];
            return ConstData(content.end, content.end);
        }
        if (content.Length() >= 2 && IsHexDigit(content.begin[0]) && IsHexDigit(content.begin[1])) {
            Byte decoded = EscapedByte(content.begin[0], content.begin[1]);
            m_pendingLength = 0;
            WriteText(ConstData(&decoded, 1));
            content.begin += 2;
            return content;
        }
    }
    WritePendingEscapeAsText();
    return content;
}

// Writes the content with its complete escapes decoded.
void QuotedPrintableLineMaker::WriteDecoded(ConstData content) {
    const Byte* text = content.begin;
    const Byte* p = content.begin;
    while (p != content.end) {
        if (*p == '=' && content.end - p >= 3 && IsHexDigit(p[1]) && IsHexDigit(p[2])) {
            WriteText(ConstData(text, p));
            Byte decoded = EscapedByte(p[1], p[2]);
            WriteText(ConstData(&decoded, 1));
            p += 3;
            text = p;
        } else {
            ++p;
        }
    }
    WriteText(ConstData(text, p));
}

void QuotedPrintableLineMaker::ReceiveText(const Byte* begin, const Byte* end) {
    const Byte* contentEnd = end;
    while (contentEnd != begin && Ascii::IsBlank(contentEnd[-1])) --contentEnd;
    ConstData content(begin, contentEnd);
    ConstData trailingBlanks(contentEnd, end);
    if (content.IsEmpty()) {
        m_heldBlanks.append(trailingBlanks.Chars(), trailingBlanks.Length());
        return;
    }
    if (!m_heldBlanks.empty()) {
        // Text follows: the held blanks were inside the line, and they broke any escape before them.
        WritePendingEscapeAsText();
        WriteText(ConstData(m_heldBlanks));
        m_heldBlanks.clear();
    } else if (m_pendingLength != 0) {
        content = CompletePendingEscape(content);
    }
    // An escape cut off at the end of the content may be completed by the next piece.
    std::size_t length = content.Length();
    if (length >= 1 && content.end[-1] == '=') {
        m_pendingEscape[0] = '=';
        m_pendingLength = 1;
        --content.end;
    } else if (length >= 2 && content.end[-2] == '=' && IsHexDigit(content.end[-1])) {
        m_pendingEscape[0] = '=';
        m_pendingEscape[1] = content.end[-1];
        m_pendingLength = 2;
        content.end -= 2;
    }
    WriteDecoded(content);
    m_heldBlanks.append(trailingBlanks.Chars(), trailingBlanks.Length());
}

void QuotedPrintableLineMaker::EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) {
    m_heldBlanks.clear();
    WritePendingEscapeAsText();
    m_target->EndLine(terminatorStart, terminatorEnd);
}

void QuotedPrintableLineMaker::End(std::uint64_t total) {
    m_heldBlanks.clear();
    WritePendingEscapeAsText();
    m_target->End(total);
}
