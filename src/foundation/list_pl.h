// ListPL: the library layer's list, with a built-in cursor for walking it; and Pair, its usual
// element (name/value lists are ListPL<Pair<StringPL, StringPL>>).
//
// Appending never moves stored values and never disturbs a walk in progress. A ListPL is a plain
// value: copying copies the values (the copy's cursor starts unset). Not thread-safe.
#pragma once

#include <cstdint>
#include <list>
#include <utility>

#include "base/exceptions.h"

template <class First, class Second>
using Pair = std::pair<First, Second>;

class NoMoreItemsException : public ExceptionPL {
  public:
    NoMoreItemsException() : ExceptionPL("A ListPL iterator walked off the end of the list.") {}
};

template <class T>
class ListPL {
  public:
    ListPL() = default;
    ListPL(const ListPL& other) : m_values(other.m_values) {}
    ListPL& operator=(const ListPL& other) {
        if (this != &other) {
            m_values = other.m_values;
            m_cursor = m_values.end();
        }
        return *this;
    }

    // Stores a copy at the tail and returns it.
    T* Append(const T& value) { return &m_values.emplace_back(value); }
    void Add(const T& value) { Append(value); }
    void Clear() {
        m_values.clear();
        m_cursor = m_values.end();
    }

    std::uint32_t Count() const { return static_cast<std::uint32_t>(m_values.size()); }
    bool IsEmpty() const { return m_values.empty(); }

    // A walk: Rewind, then Next while HasMore. Next past the end throws NoMoreItemsException.
    void Rewind() { m_cursor = m_values.begin(); }
    bool HasMore() const { return m_cursor != m_values.end(); }
    T& Next() {
        if (m_cursor == m_values.end()) throw NoMoreItemsException();
        return *m_cursor++;
    }

    auto begin() { return m_values.begin(); }
    auto end() { return m_values.end(); }
    auto begin() const { return m_values.begin(); }
    auto end() const { return m_values.end(); }

  private:
    std::list<T> m_values;
    typename std::list<T>::iterator m_cursor = m_values.end();
};
