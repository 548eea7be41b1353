// Writing JSON text: a streaming writer with three layouts, and the string escaping as a text stage.
//
// JSONTextWriter writes UTF-8 text into a UTextReceiver<UTF8> (not owned) as its operations are
// called; it keeps no document, only where it stands. It does not check that opens and closes balance
// or that names and values alternate: the caller writes a well-formed document. Every operation
// returns the writer, so calls chain:
//
//     JSONTextWriter writer(&out, JSONTextWriter::Layout::SingleLine);
//     writer.Begin().BeginObject().WriteKey("id").WriteInteger(5).EndObject().Finish();
//
// gives {"id" : 5}. Layouts: Indented puts one item on a line, indented by two spaces per level of
// nesting (a container's items one step deeper than its brackets); OneItemPerLine is the same without
// indentation; SingleLine writes everything on one line. Items are separated by ", " (and a newline),
// a member name from its value by " : ".
//
// Strings are escaped so that the text is safe inside HTML and scripts: the double quote and the
// backslash as \" and \\, backspace, tab, newline, form feed and carriage return as \b \t \n \f \r,
// the apostrophe as \u0027, "/" as \u002F, every other control byte and DEL as \u00xx with lower-case
// digits. All other bytes, those of multi-byte UTF-8 characters included, pass unchanged.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/byte_string.h"
#include "formats/digest_record.h"
#include "formats/text_encodings.h"

class JSONTextWriter {
  public:
    enum class Layout : std::uint32_t { Indented = 0, OneItemPerLine = 1, SingleLine = 2 };

    JSONTextWriter(UTextReceiver<UTF8>* out, Layout layout) : m_out(out), m_layout(layout) {}

    // Begins and ends the output stage.
    JSONTextWriter& Begin();
    JSONTextWriter& Finish();

    JSONTextWriter& BeginObject() { return Open('{'); }
    JSONTextWriter& EndObject() { return Close('}'); }
    JSONTextWriter& BeginArray() { return Open('['); }
    JSONTextWriter& EndArray() { return Close(']'); }

    // A member name (UTF-8); its value follows on the same line.
    JSONTextWriter& WriteKey(std::string_view name);
    // A string value from UTF-8 bytes.
    JSONTextWriter& WriteString(std::string_view text);
    // A string value from UTF-16; an unpaired surrogate is written as U+FFFD.
    JSONTextWriter& WriteString(std::u16string_view text);
    // A string value from the bytes of a ByteString (UTF-8).
    JSONTextWriter& WriteString(const ByteString& text);
    // A digest as a string of lower-case hexadecimal digits.
    JSONTextWriter& WriteString(const DigestRecord& digest);
    JSONTextWriter& WriteInteger(std::int64_t value);
    JSONTextWriter& WriteNull();

  private:
    void BeforeValue();
    JSONTextWriter& Open(char bracket);
    JSONTextWriter& Close(char bracket);
    void Indent();
    void Write(std::string_view text);
    void WriteQuoted(std::string_view text);

    UTextReceiver<UTF8>* m_out;
    bool m_needComma = false;
    bool m_atStart = true;
    bool m_afterKey = false;
    std::int32_t m_depth = -1;
    Layout m_layout;
};

// A text stage that escapes what passes through it as a JSON string's content (without the quotes).
// Begin and End go to the target unchanged. The target is not owned; set it before Begin.
class JSONEscaper : public UTextReceiver<UTF8> {
  public:
    explicit JSONEscaper(UTextReceiver<UTF8>* target = nullptr) : m_target(target) {}
    void SetTarget(UTextReceiver<UTF8>* target) { m_target = target; }

    void Begin() override { m_target->Begin(); }
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override { m_target->End(); }

  private:
    UTextReceiver<UTF8>* m_target;
};
