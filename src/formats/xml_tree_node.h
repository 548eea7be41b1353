// XMLTreeNode: an element of a document parsed by ParseXMLDocument (sax_xml_tree.h): its local name,
// its attributes by local name, its text and its child elements, all held by value.
//
// `text` is all character data directly inside the element in document order, white space included.
// Names and texts are UTF-8. Callers read `name` and `children` directly. A value: one thread at a
// time.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "base/const_data.h"
#include "base/exceptions.h"

// Attribute local name to value, ordered by unsigned byte-wise comparison of the names.
using XMLAttributeMap = std::map<std::string, std::string, std::less<>>;

class NoSuchAttribute : public DebuggableException {};

struct XMLTreeNode {
    // The text as a byte range; the null range when the element holds no text.
    ConstData GetText() const { return text.empty() ? ConstData() : ConstData(text.data(), text.size()); }
    // The value of the attribute with that local name (compared byte for byte); NoSuchAttribute when
    // there is none.
    const std::string& GetAttribute(std::string_view attributeName) const;

    std::string name;
    XMLAttributeMap attributes;
    std::string text;
    std::vector<XMLTreeNode> children;
};
