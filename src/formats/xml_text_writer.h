// XMLTextWriter: a streaming writer of UTF-8 XML documents (the download reports) into a
// UTextReceiver<UTF8>. Unlike XMLWriterPL it has no attributes and does not check names, writes its
// line breaks as LF characters, and can choose CDATA sections by itself.
//
// A start tag stays open (without its ">") until the next call, which closes it first. Text is
// written as it is apart from the escapes: '&', '<' and '>' always, and CR and LF as character
// references when line-break escaping is on. WriteText writes a text that holds '<', '&' or '>' as one
// CDATA section instead, unless the text holds "]]>", which a CDATA section cannot hold. WriteCDATA
// itself does not look for "]]>": that is the caller's to avoid.
//
// The caller balances StartElement and EndElement; Finish closes what is still open and ends the
// receiver. The receiver is not owned. One writer per document, used by one thread at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/byte_string.h"
#include "formats/text_encodings.h"
#include "formats/xml_layout.h"

class XMLTextWriter {
  public:
    XMLTextWriter(UTextReceiver<UTF8>& out, XMLLayout layout) : m_out(out), m_layout(layout) {}

    // Off at construction.
    void SetEscapeLineBreaks(bool escape) { m_escapeLineBreaks = escape; }

    // Begins the receiver and writes the declaration, with encoding="UTF-8" unless `withoutEncoding`;
    // no line break follows it.
    void WriteDeclaration(bool withoutEncoding);
    void StartElement(ConstData name);
    void StartElement(const char* name);
    void WriteEscapedText(ConstData text);
    void WriteCDATA(ConstData text);
    // CDATA or escaped text, as described above.
    void WriteText(ConstData text);
    // The text transcoded to UTF-8 (an unpaired surrogate becomes U+FFFD), then WriteText.
    void WriteUTF16Text(std::u16string_view text);
    // The same for UTF-16 units held in a byte string, two bytes each in machine order; an odd last
    // byte is not a unit and is left out.
    void WriteUTF16Text(const ByteString& units);
    // "true" or "false", escaped.
    void WriteBool(bool value);
    // Closes the innermost open element.
    void EndElement();
    // Closes every open element, innermost first, then ends the receiver.
    void Finish();

  private:
    enum class Written { Nothing, OpenStartTag, StartTag, Text, EndTag };

    void Write(ConstData bytes);
    void Write(std::string_view text);
    void CloseStartTag();
    // Closes a pending start tag and breaks the line after an end tag: the common start of text,
    // CDATA and booleans.
    void BeginContent();
    void BreakLine(std::size_t indentation);

    UTextReceiver<UTF8>& m_out;
    const XMLLayout m_layout;
    bool m_escapeLineBreaks = false;
    std::vector<std::string> m_open;
    Written m_last = Written::Nothing;
};
