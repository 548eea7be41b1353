#include "formats/xml_element.h"

#include <algorithm>
#include <utility>

// List iterators stay valid, and keep pointing into the same list, when the list is moved, so a move
// hands m_reuse over with the children. Copies take only the children before m_reuse.

XMLElementPL::XMLElementPL(std::string_view name, std::span<const XMLAttribute> attributes)
    : m_name(name), m_attributes(attributes.begin(), attributes.end()) {}

XMLElementPL::XMLElementPL(const XMLElementPL& other) {
    CopyTreeFrom(other);
}

XMLElementPL::XMLElementPL(XMLElementPL&& other) noexcept
    : m_name(std::move(other.m_name)),
      m_attributes(std::move(other.m_attributes)),
      m_text(std::move(other.m_text)),
      m_children(std::move(other.m_children)),
      m_reuse(std::exchange(other.m_reuse, std::nullopt)) {}

XMLElementPL& XMLElementPL::operator=(const XMLElementPL& other) {
    if (this != &other) {
        XMLElementPL copy(other);
        *this = std::move(copy);
    }
    return *this;
}

XMLElementPL& XMLElementPL::operator=(XMLElementPL&& other) noexcept {
    if (this != &other) {
        ReleaseChildren();
        m_name = std::move(other.m_name);
        m_attributes = std::move(other.m_attributes);
        m_text = std::move(other.m_text);
        m_children = std::move(other.m_children);
        m_reuse = std::exchange(other.m_reuse, std::nullopt);
    }
    return *this;
}

XMLElementPL::~XMLElementPL() {
    ReleaseChildren();
}

const std::string& XMLElementPL::GetAttribute(std::string_view name) const {
    static const std::string kNoValue;
    auto found = std::find_if(m_attributes.begin(), m_attributes.end(),
                              [&](const XMLAttribute& attribute) { return attribute.first == name; });
    return found == m_attributes.end() ? kNoValue : found->second;
}

bool XMLElementPL::HasAttribute(std::string_view name) const {
    return std::any_of(m_attributes.begin(), m_attributes.end(),
                       [&](const XMLAttribute& attribute) { return attribute.first == name; });
}

std::list<XMLElementPL>& XMLElementPL::Children() {
    if (m_reuse) {
        m_children.erase(*m_reuse, m_children.end());
        m_reuse.reset();
    }
    return m_children;
}

XMLElementPL& XMLElementPL::AddChild(std::string_view name, std::span<const XMLAttribute> attributes) {
    if (!m_reuse) return m_children.emplace_back(name, attributes);
    XMLElementPL& child = **m_reuse;
    child.Assign(name, attributes);
    if (++*m_reuse == m_children.end()) m_reuse.reset();
    return child;
}

void XMLElementPL::Assign(std::string_view name, std::span<const XMLAttribute> attributes) {
    m_name = name;
    m_attributes.assign(attributes.begin(), attributes.end());
    m_text.clear();
    if (m_children.empty()) {
        m_reuse.reset();
    } else {
        m_reuse = m_children.begin();
    }
}

XMLElementPL::ChildList::const_iterator XMLElementPL::LiveChildrenEnd() const {
    return m_reuse ? ChildList::const_iterator(*m_reuse) : m_children.end();
}

// Breadth by breadth with an explicit list of pending (source, copy) pairs instead of recursion.
void XMLElementPL::CopyTreeFrom(const XMLElementPL& source) {
    std::vector<std::pair<const XMLElementPL*, XMLElementPL*>> pending{{&source, this}};
    while (!pending.empty()) {
        auto [from, to] = pending.back();
        pending.pop_back();
        to->m_name = from->m_name;
        to->m_attributes = from->m_attributes;
        to->m_text = from->m_text;
        for (auto child = from->m_children.begin(); child != from->LiveChildrenEnd(); ++child)
            pending.emplace_back(&*child, &to->m_children.emplace_back());
    }
}

// Moves every descendant into one flat list, each element's children spliced to the list's end
// before the element itself is destroyed, so no destructor finds children to recurse into.
void XMLElementPL::ReleaseChildren() noexcept {
    ChildList doomed;
    doomed.splice(doomed.end(), m_children);
    m_reuse.reset();
    while (!doomed.empty()) {
        XMLElementPL& first = doomed.front();
        doomed.splice(doomed.end(), first.m_children);
        first.m_reuse.reset();
        doomed.pop_front();
    }
}
