#include "formats/json_writer.h"

#include <cstring>

#include "base/numerals.h"
#include "formats/text_conversions.h"

namespace {

void Put(UTextReceiver<UTF8>& out, std::string_view text) {
    auto* bytes = reinterpret_cast<const Byte*>(text.data());
    out.Receive(bytes, bytes + text.size());
}

// The escape of a byte, or an empty text for a byte that stands for itself. `scratch` holds the
// generated \u00xx forms.
std::string_view EscapeOf(Byte byte, char (&scratch)[6]) {
    switch (byte) {
        case '\b':
            return "\\b";
        case '\t':
            return "\\t";
        case '\n':
            return "\\n";
        case '\f':
            return "\\f";
        case '\r':
            return "\\r";
        case '"':
            return "\\\"";
        case '\'':
            return "\\u0027";
        case '/':
            return "\\u002F";
        case '\\':
            return "\\\\";
        default:
            break;
    }
    if (byte >= 0x20 && byte != 0x7F) return {};
    std::memcpy(scratch, "\\u00", 4);
    scratch[4] = HexDigitChar(byte >> 4);
    scratch[5] = HexDigitChar(byte & 0xF);
    return {scratch, 6};
}

// Writes the bytes escaped, passing each run of unchanged bytes on in one call.
void WriteEscaped(UTextReceiver<UTF8>& out, const Byte* begin, const Byte* end) {
    const Byte* run = begin;
    char scratch[6];
    for (const Byte* next = begin; next != end; ++next) {
        std::string_view escape = EscapeOf(*next, scratch);
        if (escape.empty()) continue;
        if (run != next) out.Receive(run, next);
        Put(out, escape);
        run = next + 1;
    }
    if (run != end) out.Receive(run, end);
}

}  // namespace

JSONTextWriter& JSONTextWriter::Begin() {
    m_out->Begin();
    return *this;
}

JSONTextWriter& JSONTextWriter::Finish() {
    m_out->End();
    return *this;
}

JSONTextWriter& JSONTextWriter::WriteKey(std::string_view name) {
    BeforeValue();
    WriteQuoted(name);
    Write(" : ");
    m_needComma = false;
    m_afterKey = true;
    return *this;
}

JSONTextWriter& JSONTextWriter::WriteString(std::string_view text) {
    BeforeValue();
    WriteQuoted(text);
    return *this;
}

JSONTextWriter& JSONTextWriter::WriteString(std::u16string_view text) {
    return WriteString(UTF16ToUTF8(text));
}

JSONTextWriter& JSONTextWriter::WriteString(const ByteString& text) {
    return WriteString(text.GetConstData().View());
}

JSONTextWriter& JSONTextWriter::WriteString(const DigestRecord& digest) {
    return WriteString(digest.ToHex());
}

JSONTextWriter& JSONTextWriter::WriteInteger(std::int64_t value) {
    BeforeValue();
    Write(FormatSignedDecimalDigits(value, 1).View());
    return *this;
}

JSONTextWriter& JSONTextWriter::WriteNull() {
    BeforeValue();
    Write("null");
    return *this;
}

// The spacing below is the relay's established output, which other programs read and compare; it
// leaves ", " and " : " with trailing spaces at line ends on purpose.
void JSONTextWriter::BeforeValue() {
    if (m_needComma) Write(m_layout == Layout::SingleLine ? ", " : ", \n");
    if (!m_afterKey) Indent();
    m_needComma = true;
    m_atStart = false;
    m_afterKey = false;
}

JSONTextWriter& JSONTextWriter::Open(char bracket) {
    if (m_needComma) Write(", ");
    if (!m_atStart && m_layout != Layout::SingleLine) Write("\n");
    ++m_depth;
    Indent();
    Write(std::string_view(&bracket, 1));
    if (m_layout != Layout::SingleLine) Write("\n");
    ++m_depth;
    m_needComma = false;
    m_atStart = false;
    m_afterKey = false;
    return *this;
}

JSONTextWriter& JSONTextWriter::Close(char bracket) {
    --m_depth;
    m_needComma = true;
    if (m_layout != Layout::SingleLine) Write("\n");
    Indent();
    Write(std::string_view(&bracket, 1));
    --m_depth;
    return *this;
}

void JSONTextWriter::Indent() {
    if (m_layout != Layout::Indented) return;
    for (std::int32_t level = 0; level < m_depth; ++level) Write("  ");
}

void JSONTextWriter::Write(std::string_view text) {
    Put(*m_out, text);
}

void JSONTextWriter::WriteQuoted(std::string_view text) {
    Write("\"");
    auto* bytes = reinterpret_cast<const Byte*>(text.data());
    WriteEscaped(*m_out, bytes, bytes + text.size());
    Write("\"");
}

void JSONEscaper::Receive(const Byte* begin, const Byte* end) {
    WriteEscaped(*m_target, begin, end);
}
