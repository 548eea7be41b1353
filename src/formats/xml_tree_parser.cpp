#include "formats/xml_tree_parser.h"

void XMLTreeParserPL::StartElement(const std::string& name, std::span<const XMLAttribute> attributes) {
    XMLElementPL* element;
    if (!m_open.empty()) {
        element = &m_open.back()->AddChild(name, attributes);
    } else if (m_root) {
        m_root->Assign(name, attributes);
        element = m_root.get();
    } else {
        m_root = std::make_unique<XMLElementPL>(name, attributes);
        element = m_root.get();
    }
    m_open.push_back(element);
}

void XMLTreeParserPL::EndElement(const std::string&) {
    if (!m_open.empty()) m_open.pop_back();
}

void XMLTreeParserPL::Characters(const std::string& text) {
    if (!m_open.empty()) m_open.back()->AppendText(text);
}
