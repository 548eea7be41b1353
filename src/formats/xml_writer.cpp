#include "formats/xml_writer.h"

#include <string>

#include "formats/xml_escaping.h"

namespace {

constexpr Byte kMiddleDot = 0xB7;

bool IsNameStartByte(Byte c) {
    return c == ':' || c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNameByte(Byte c) {
    return IsNameStartByte(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == kMiddleDot;
}

bool IsValidName(ConstData name) {
    if (name.IsEmpty() || !IsNameStartByte(*name.begin)) return false;
    for (const Byte* p = name.begin + 1; p != name.end; ++p) {
        if (!IsNameByte(*p)) return false;
    }
    return true;
}

std::string Quoted(ConstData name) {
    return "'" + std::string(name.View()) + "'";
}

}  // namespace

InvalidXMLElementName::InvalidXMLElementName(ConstData name)
    : ExceptionPL("Unable to write XML element with invalid element name " + Quoted(name)) {}

InvalidXMLAttributeName::InvalidXMLAttributeName(ConstData elementName, ConstData attributeName)
    : ExceptionPL("Unable to write XML element " + Quoted(elementName) + " with invalid attribute name " +
                  Quoted(attributeName)) {}

void XMLWriterPL::WriteDeclaration(const StringPL& rootName, const XMLAttributeList& attributes,
                                   const OptionalValue<StringPL>& encoding) {
    m_out.Begin(0);
    Write("<?xml version=\"1.0\"");
    if (encoding) {
        Write(" encoding=\"");
        Write(encoding->GetConstData());
        Write("\"");
    }
    Write("?>");
    StartElement(rootName.GetConstData(), attributes);
}

void XMLWriterPL::StartElement(const char* name, const XMLAttributeList& attributes) {
    StartElement(ConstDataOfCString(name), attributes);
}

void XMLWriterPL::StartElement(ConstData name, const XMLAttributeList& attributes) {
    if (!IsValidName(name)) throw InvalidXMLElementName(name);
    for (const auto& [attributeName, value] : attributes) {
        if (!IsValidName(attributeName.GetConstData()))
            throw InvalidXMLAttributeName(name, attributeName.GetConstData());
    }
    BreakLine(m_open.size());
    Write("<");
    Write(name);
    for (const auto& [attributeName, value] : attributes) {
        Write(" ");
        Write(attributeName.GetConstData());
        Write("=\"");
        WriteEscapedAttributeValue(value.GetConstData());
        Write("\"");
    }
    Write(">");
    // A valid name holds no NUL, so the counted copy keeps all of it.
    m_open.emplace_back(name.Chars(), static_cast<int>(name.Length()));
    m_last = Written::StartTag;
}

void XMLWriterPL::WriteText(const StringPL& text) {
    if (m_last == Written::EndTag && m_layout != XMLLayout::SingleLine) BreakLine(0);
    WriteEscapedText(text.GetConstData());
    m_last = Written::Text;
}

void XMLWriterPL::EndElement() {
    if (m_last == Written::EndTag) BreakLine(m_open.size() - 1);
    Write("</");
    Write(m_open.back().GetConstData());
    Write(">");
    m_last = Written::EndTag;
    m_open.pop_back();
}

void XMLWriterPL::Finish() {
    while (!m_open.empty()) EndElement();
    m_out.End(m_position);
}

void XMLWriterPL::Write(ConstData bytes) {
    if (bytes.IsEmpty()) return;
    m_out.ReceiveText(bytes.begin, bytes.end);
    m_position += bytes.Length();
}

void XMLWriterPL::Write(const char* text) {
    Write(ConstDataOfCString(text));
}

// Only the indented layout writes the tabs; the single-line layout writes no line end either.
void XMLWriterPL::BreakLine(std::size_t indentation) {
    if (m_layout == XMLLayout::SingleLine) return;
    m_out.EndLine(m_position, m_position);
    if (m_layout == XMLLayout::Indented) {
        for (std::size_t i = 0; i < indentation; ++i) Write("\t");
    }
}

void XMLWriterPL::WriteEscapedText(ConstData text) {
    WriteXMLEscaped(text, {.malformedUTF8 = true}, [this](ConstData piece) { Write(piece); });
}

void XMLWriterPL::WriteEscapedAttributeValue(ConstData value) {
    WriteXMLEscaped(value, {.quotes = true}, [this](ConstData piece) { Write(piece); });
}
