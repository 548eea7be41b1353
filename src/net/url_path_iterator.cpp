#include "net/url_path_iterator.h"

#include <algorithm>

namespace {

ConstData WithoutLeadingSlash(ConstData path) {
    if (!path.IsEmpty() && *path.begin == '/') ++path.begin;
    return path;
}

}  // namespace

URLPathIterator::URLPathIterator(ConstData path, const Byte* componentBegin) : m_path(path) {
    const Byte* componentEnd = std::find(componentBegin, path.end, Byte('/'));
    const Byte* nameEnd = std::find(componentBegin, componentEnd, Byte(';'));
    m_current = {{componentBegin, componentEnd}, {componentBegin, nameEnd}, {nameEnd, componentEnd}};
}

URLPathIterator URLPathIterator::First(ConstData path) {
    ConstData stripped = WithoutLeadingSlash(path);
    URLPathIterator iterator(stripped, stripped.begin);
    iterator.m_atEnd = stripped.IsEmpty();
    return iterator;
}

URLPathIterator URLPathIterator::Last(ConstData path) {
    ConstData stripped = WithoutLeadingSlash(path);
    const Byte* lastSlash = stripped.end;
    while (lastSlash != stripped.begin && lastSlash[-1] != '/') --lastSlash;
    return URLPathIterator(stripped, lastSlash);
}

void URLPathIterator::Next() {
    if (m_atEnd) return;
    if (m_current.whole.end == m_path.end) {
        m_atEnd = true;
        return;
    }
    *this = URLPathIterator(m_path, m_current.whole.end + 1);
}

bool URLPathIterator::operator==(const URLPathIterator& other) const {
    if (m_atEnd || other.m_atEnd) return m_atEnd == other.m_atEnd;
    return m_current.whole.begin == other.m_current.whole.begin;
}

URLPathComponent GetLastPathComponent(ConstData path) {
    if (path.IsEmpty()) throw NoSuchURLPathComponent();
    return URLPathIterator::Last(path).Current();
}
