// SimpleXMLParserPL: the push tokenizer that reads back the relay's own XML files. It needs no
// platform parser, never rejects input and never throws (except when memory runs out).
//
// It covers what the relay's writers produce: start and end tags, attributes in double quotes or
// apostrophes, character data, processing instructions, comments, CDATA sections, the entity
// references "&lt;", "&gt;", "&amp;", "&quot;" and hexadecimal character references below 256, which
// give the single byte of their value (so files that wrote each byte of a UTF-8 text as "&#xNN;"
// read back as that text). Anything else that looks like a reference ("&apos;", "&#65;") is kept as
// it stands. Well-formedness is not checked: an end tag closes the innermost element whatever its
// name. Only the space byte separates a tag name from its attributes.
//
// What the handler sees:
// - character data in pieces: each run between markup, each reference and each CDATA section on its
//   own; CDATA comes raw, without reference decoding; character data after the last markup of the
//   input is never reported (there is no end-of-input call);
// - a start tag at its ">", with its attributes in document order;
// - "<a/>" as the end of a only, while a start tag with a space before its "/>" ("<a />",
//   "<a x='1'/>") as a start and an end; an attribute without a value ends where a "/" or ">" does
//   and is dropped;
// - a processing instruction with the "?" in its name ("?xml") and its pseudo-attributes parsed
//   like attributes; comments and declarations ("<!DOCTYPE a>") not at all; "</a >" as the end of an
//   element named "a " (the space is part of the name).
//
// Input may be cut anywhere: the state carries over between Receive calls. A parser reads one
// document, or several in a row when each ended outside any markup. One thread at a time.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "base/const_data.h"
#include "foundation/list_pl.h"

// An attribute's (name, value).
using XMLAttribute = Pair<std::string, std::string>;

// The events of the tokenizer. The arguments are valid only during the call.
class XMLHandler {
  public:
    virtual ~XMLHandler() = default;
    virtual void StartElement(const std::string& name, std::span<const XMLAttribute> attributes) = 0;
    virtual void EndElement(const std::string& name) = 0;
    virtual void Characters(const std::string& text) = 0;
    virtual void ProcessingInstruction(const std::string& name, std::span<const XMLAttribute> attributes) {}
};

// The tokenizer reports to its own handler operations, which do nothing here: a derived class
// overrides those it needs.
class SimpleXMLParserPL : public XMLHandler {
  public:
    void Receive(const char* data, std::size_t length);
    void Receive(ConstData data) { Receive(data.Chars(), data.Length()); }

    void StartElement(const std::string& name, std::span<const XMLAttribute> attributes) override {}
    void EndElement(const std::string& name) override {}
    void Characters(const std::string& text) override {}
    void ProcessingInstruction(const std::string& name, std::span<const XMLAttribute> attributes) override {}

  private:
    enum class State {
        Content,
        Reference,
        TagOpen,
        EndTag,
        InTag,
        AttributeName,
        BeforeValue,
        AttributeValue,
        AttributeReference,
        Comment,
        CData,
    };

    void Handle(char c);
    void HandleTagOpen(char c);
    void HandleInTag(char c);
    void HandleCData(char c);
    // Changes state doing the work of leaving the current state and of entering the next.
    void GoTo(State next);
    void Leave(State next);
    void Enter(State next);
    void ReportText();
    void ReportTag();
    XMLAttribute& CurrentAttribute() { return m_attributeStore[m_attributeCount]; }

    State m_state = State::Content;
    // The two bytes before the current one inside a CDATA section; 0 for none.
    char m_previous = 0;
    char m_beforePrevious = 0;
    char m_quote = 0;
    std::string m_text;
    std::string m_reference;
    std::string m_tagName;
    // Reused from tag to tag; only the first m_attributeCount entries belong to the current tag, and
    // the entry after them is the attribute being read.
    std::vector<XMLAttribute> m_attributeStore;
    std::size_t m_attributeCount = 0;
    int m_dashes = 0;
    bool m_selfClosing = false;
};
