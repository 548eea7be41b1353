// XMLWriterPL: the streaming writer of the relay's own XML files (server and replication lists,
// gather state, URL-to-identifier maps). It never builds a tree: every call writes its markup at once,
// as lines into a LineReceiver, so a LineFlattener in front of a file or string chooses the line end.
//
// Element and attribute names must follow the name rule: the first byte is ':', '_' or an ASCII
// letter; each further byte is one of those, '-', '.', a digit or the byte 0xB7. A name that breaks
// it throws before anything of that start tag is written, so the output so far stays well-formed.
//
// Text escapes '&', '<' and '>'. Well-formed UTF-8 is written as it is; a byte that belongs to no
// well-formed UTF-8 sequence is written as the character reference of its value ("&#xe9;" for a
// lone 0xE9, which a reader takes as U+00E9). Attribute values escape the double quote as well and
// are otherwise written unchanged. An empty element is written as a start and an end tag, never
// self-closed; an element that holds only text closes on the line of its start tag.
//
// The caller balances StartElement and EndElement (EndElement with nothing open is a caller error);
// Finish closes what is still open and ends the receiver. The receiver is not owned. One writer per
// document, used by one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "formats/xml_layout.h"
#include "foundation/list_pl.h"
#include "foundation/optional_value.h"
#include "foundation/string_pl.h"

// (name, value) pairs, written in list order.
using XMLAttributeList = ListPL<Pair<StringPL, StringPL>>;

class InvalidXMLElementName : public ExceptionPL {
  public:
    explicit InvalidXMLElementName(ConstData name);
};

class InvalidXMLAttributeName : public ExceptionPL {
  public:
    InvalidXMLAttributeName(ConstData elementName, ConstData attributeName);
};

class XMLWriterPL {
  public:
    XMLWriterPL(LineReceiver& out, XMLLayout layout) : m_out(out), m_layout(layout) {}

    // Begins the receiver, writes the declaration (version 1.0, with the encoding only when one is
    // given) and starts the root element.
    void WriteDeclaration(const StringPL& rootName, const XMLAttributeList& attributes,
                          const OptionalValue<StringPL>& encoding = std::nullopt);
    void StartElement(ConstData name, const XMLAttributeList& attributes = {});
    void StartElement(const char* name, const XMLAttributeList& attributes = {});
    void WriteText(const StringPL& text);
    // Closes the innermost open element.
    void EndElement();
    // Closes every open element, innermost first, then ends the receiver.
    void Finish();

  private:
    enum class Written { Nothing, StartTag, Text, EndTag };

    void Write(ConstData bytes);
    void Write(const char* text);
    void BreakLine(std::size_t indentation);
    void WriteEscapedText(ConstData text);
    void WriteEscapedAttributeValue(ConstData value);

    LineReceiver& m_out;
    const XMLLayout m_layout;
    std::vector<StringPL> m_open;
    Written m_last = Written::Nothing;
    // Text bytes written so far: the stream positions the receiver is given (line ends take none).
    std::uint64_t m_position = 0;
};
