#include "formats/xml_text_writer.h"

#include <cstring>

#include "formats/text_conversions.h"
#include "formats/xml_escaping.h"

void XMLTextWriter::WriteDeclaration(bool withoutEncoding) {
    m_out.Begin();
    Write(withoutEncoding ? "<?xml version=\"1.0\"?>" : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
}

void XMLTextWriter::StartElement(const char* name) {
    StartElement(ConstDataOfCString(name));
}

void XMLTextWriter::StartElement(ConstData name) {
    CloseStartTag();
    BreakLine(m_open.size());
    Write("<");
    Write(name);
    m_open.emplace_back(name.View());
    m_last = Written::OpenStartTag;
}

void XMLTextWriter::WriteEscapedText(ConstData text) {
    BeginContent();
    WriteXMLEscaped(text, {.lineBreaks = m_escapeLineBreaks}, [this](ConstData piece) { Write(piece); });
    m_last = Written::Text;
}

void XMLTextWriter::WriteCDATA(ConstData text) {
    BeginContent();
    Write("<![CDATA[");
    Write(text);
    Write("]]>");
    m_last = Written::Text;
}

void XMLTextWriter::WriteText(ConstData text) {
    std::string_view view = text.View();
    bool needsEscapes = view.find_first_of("<&>") != std::string_view::npos;
    if (needsEscapes && view.find("]]>") == std::string_view::npos) {
        WriteCDATA(text);
    } else {
        WriteEscapedText(text);
    }
}

void XMLTextWriter::WriteUTF16Text(std::u16string_view text) {
    CopiedUString<UTF8> utf8 = UTF16ToUTF8(text);
    WriteText(ConstData(utf8));
}

void XMLTextWriter::WriteUTF16Text(const ByteString& units) {
    std::u16string text(units.Length() / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), units.GetConstData().begin, text.size() * 2);
    WriteUTF16Text(text);
}

void XMLTextWriter::WriteBool(bool value) {
    WriteEscapedText(ConstData(std::string_view(value ? "true" : "false")));
}

void XMLTextWriter::EndElement() {
    CloseStartTag();
    if (m_last == Written::EndTag) BreakLine(m_open.size() - 1);
    Write("</");
    Write(m_open.back());
    Write(">");
    m_last = Written::EndTag;
    m_open.pop_back();
}

void XMLTextWriter::Finish() {
    while (!m_open.empty()) EndElement();
    m_out.End();
}

void XMLTextWriter::Write(ConstData bytes) {
    if (!bytes.IsEmpty()) m_out.Receive(bytes.begin, bytes.end);
}

void XMLTextWriter::Write(std::string_view text) {
    Write(ConstData(text));
}

void XMLTextWriter::CloseStartTag() {
    if (m_last != Written::OpenStartTag) return;
    Write(">");
    m_last = Written::StartTag;
}

void XMLTextWriter::BeginContent() {
    CloseStartTag();
    if (m_last == Written::EndTag) BreakLine(0);
}

void XMLTextWriter::BreakLine(std::size_t indentation) {
    if (m_layout == XMLLayout::SingleLine) return;
    Write("\n");
    if (m_layout == XMLLayout::Indented) Write(std::string(indentation, '\t'));
}
