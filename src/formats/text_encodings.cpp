#include "formats/text_encodings.h"

#include <algorithm>

template <class E>
void UStringBuilder<E>::Begin() {
    m_text.clear();
    m_text.reserve(m_initialCapacity);
}

template <class E>
void UStringBuilder<E>::Receive(const Unit* begin, const Unit* end) {
    std::size_t count = static_cast<std::size_t>(end - begin);
    if (count == 0) return;
    std::size_t needed = m_text.size() + count;
    // Grow geometrically ourselves: reserve() alone may allocate exactly what is asked.
    if (needed > m_text.capacity()) m_text.reserve(std::max(2 * m_text.capacity(), needed));
    using Char = typename CopiedUString<E>::value_type;
    m_text.append(reinterpret_cast<const Char*>(begin), count);
}

template class UStringBuilder<UTF8>;
template class UStringBuilder<UTF16>;
