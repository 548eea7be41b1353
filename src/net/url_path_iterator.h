// Walks the components of a URL path: one leading "/" is dropped, then the path splits at each "/".
// A component's name runs to its first ";"; the parameters are the rest from that ";" on.
// "/a;p/b/" gives "a;p" (name "a", parameters ";p"), "b" and "". Non-owning: the path text must
// outlive the iterator.
#pragma once

#include "base/const_data.h"
#include "base/exceptions.h"

class NoSuchURLPathComponent : public DebuggableException {};

struct URLPathComponent {
    ConstData whole;
    ConstData name;
    ConstData parameters;
};

class URLPathIterator {
  public:
    // At the first component; at the end at once when the path without its leading "/" is empty.
    static URLPathIterator First(ConstData path);
    // At the text after the last "/".
    static URLPathIterator Last(ConstData path);

    bool AtEnd() const { return m_atEnd; }
    const URLPathComponent& Current() const { return m_current; }
    void Next();

    // Two iterators at the end are equal; otherwise those whose components begin at the same byte.
    bool operator==(const URLPathIterator& other) const;

  private:
    URLPathIterator(ConstData path, const Byte* componentBegin);

    ConstData m_path;
    URLPathComponent m_current;
    bool m_atEnd = false;
};

// The last component of a path; NoSuchURLPathComponent when the path is empty.
URLPathComponent GetLastPathComponent(ConstData path);
