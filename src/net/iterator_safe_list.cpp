#include "net/iterator_safe_list.h"

#include <algorithm>

IteratorSafeListElement::~IteratorSafeListElement() {
    if (m_list) m_list->RemoveElement(*this).release();
}

std::unique_ptr<IteratorSafeListElement> IteratorSafeListElement::Unlink() {
    if (!m_list) return nullptr;
    return m_list->RemoveElement(*this);
}

IteratorSafeListBase::IteratorBase::IteratorBase(IteratorSafeListBase* list)
    : m_current(list->m_head), m_list(list) {
    m_list->m_iterators.push_back(this);
}

IteratorSafeListBase::IteratorBase::IteratorBase(const IteratorBase& other)
    : m_current(other.m_current), m_list(other.m_list) {
    if (m_list) m_list->m_iterators.push_back(this);
}

IteratorSafeListBase::IteratorBase& IteratorSafeListBase::IteratorBase::operator=(const IteratorBase& other) {
    if (this != &other) {
        if (m_list) std::erase(m_list->m_iterators, this);
        m_current = other.m_current;
        m_list = other.m_list;
        if (m_list) m_list->m_iterators.push_back(this);
    }
    return *this;
}

IteratorSafeListBase::IteratorBase::~IteratorBase() {
    if (m_list) std::erase(m_list->m_iterators, this);
}

void IteratorSafeListBase::IteratorBase::Next() {
    if (m_current) m_current = m_current->m_next;
}

IteratorSafeListBase::~IteratorSafeListBase() {
    for (IteratorBase* iterator : m_iterators) {
        iterator->m_list = nullptr;
        iterator->m_current = nullptr;
    }
}

void IteratorSafeListBase::Clear() {
    while (m_head) RemoveElement(*m_head);
}

void IteratorSafeListBase::PushFrontElement(std::unique_ptr<IteratorSafeListElement> element) {
    IteratorSafeListElement* added = element.release();
    added->m_list = this;
    added->m_previous = nullptr;
    added->m_next = m_head;
    if (m_head) m_head->m_previous = added;
    m_head = added;
    ++m_count;
    for (IteratorBase* iterator : m_iterators)
        if (iterator->AtEnd()) iterator->m_current = added;
}

// Iterators standing on the element move past it before it is unlinked, so none is left pointing
// at an element that its new owner may destroy.
std::unique_ptr<IteratorSafeListElement> IteratorSafeListBase::RemoveElement(
    IteratorSafeListElement& element) {
    for (IteratorBase* iterator : m_iterators)
        if (iterator->m_current == &element) iterator->m_current = element.m_next;
    if (element.m_previous)
        element.m_previous->m_next = element.m_next;
    else
        m_head = element.m_next;
    if (element.m_next) element.m_next->m_previous = element.m_previous;
    element.m_list = nullptr;
    element.m_previous = element.m_next = nullptr;
    --m_count;
    return std::unique_ptr<IteratorSafeListElement>(&element);
}
