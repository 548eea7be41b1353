#include "formats/xml_tree_node.h"

const std::string& XMLTreeNode::GetAttribute(std::string_view attributeName) const {
    auto found = attributes.find(attributeName);
    if (found == attributes.end()) throw NoSuchAttribute();
    return found->second;
}
