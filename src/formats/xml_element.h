// XMLElementPL: an element of a document read by XMLTreeParserPL: its name, its attributes in
// document order, its text and its child elements.
//
// The text is all character data directly inside the element, in document order, with the white
// space between child elements. A tree can be refilled from another document without freeing its
// nodes: Assign renames an element and arranges for its existing children to be overwritten, in
// order, by the next AddChild calls; Children() then drops the children that the new document did
// not reuse. Readers therefore reach the children only through Children().
//
// Copying copies the whole subtree as the new document left it; neither copying nor destroying
// recurses, so a deeply nested tree cannot exhaust the stack. A value: one thread at a time.
#pragma once

#include <list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/simple_xml_parser.h"

class XMLElementPL {
  public:
    XMLElementPL() = default;
    XMLElementPL(std::string_view name, std::span<const XMLAttribute> attributes);
    XMLElementPL(const XMLElementPL& other);
    XMLElementPL(XMLElementPL&& other) noexcept;
    XMLElementPL& operator=(const XMLElementPL& other);
    XMLElementPL& operator=(XMLElementPL&& other) noexcept;
    ~XMLElementPL();

    const std::string& Name() const { return m_name; }
    const std::vector<XMLAttribute>& Attributes() const { return m_attributes; }
    const std::string& Text() const { return m_text; }
    // The value of the first attribute of that name (compared byte for byte); a shared empty value
    // when there is none.
    const std::string& GetAttribute(std::string_view name) const;
    bool HasAttribute(std::string_view name) const;

    // The child elements in document order, after dropping those a refill left unused.
    std::list<XMLElementPL>& Children();

    // Overwrites the next existing child that a refill has not reused yet, or appends a new one;
    // returns it.
    XMLElementPL& AddChild(std::string_view name, std::span<const XMLAttribute> attributes);
    // Replaces the name and attributes, empties the text, and makes the children reusable in order.
    void Assign(std::string_view name, std::span<const XMLAttribute> attributes);
    void AppendText(std::string_view text) { m_text += text; }

  private:
    using ChildList = std::list<XMLElementPL>;

    // The end of the children that belong to the current document.
    ChildList::const_iterator LiveChildrenEnd() const;
    void CopyTreeFrom(const XMLElementPL& source);
    void ReleaseChildren() noexcept;

    std::string m_name;
    std::vector<XMLAttribute> m_attributes;
    std::string m_text;
    ChildList m_children;
    // The next child to overwrite; none when new children are appended.
    std::optional<ChildList::iterator> m_reuse;
};
