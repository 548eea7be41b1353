// XMLTreeParserPL: reads one of the relay's own XML documents into a tree of XMLElementPL.
//
// Feed the document with Receive (SimpleXMLParserPL) in chunks of any size, then take Root(): null
// when no start tag was seen. Character data outside the root element is dropped; an end tag closes
// the innermost open element whatever its name, and one with nothing open is ignored. A document
// that ends with elements still open leaves HasOpenElements() true, which readers of a file take as
// a broken file.
//
// Feeding a second document into the same parser refills the tree, reusing its nodes: the new root
// overwrites the old one (see XMLElementPL). The tree belongs to the parser; copy what must outlive
// it. One thread at a time.
#pragma once

#include <memory>
#include <vector>

#include "formats/simple_xml_parser.h"
#include "formats/xml_element.h"

class XMLTreeParserPL : public SimpleXMLParserPL {
  public:
    XMLElementPL* Root() const { return m_root.get(); }
    bool HasOpenElements() const { return !m_open.empty(); }

    void StartElement(const std::string& name, std::span<const XMLAttribute> attributes) override;
    void EndElement(const std::string& name) override;
    void Characters(const std::string& text) override;

  private:
    std::unique_ptr<XMLElementPL> m_root;
    // The open elements, innermost last; they point into the tree.
    std::vector<XMLElementPL*> m_open;
};
