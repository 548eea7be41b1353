#include "http/header_field_search.h"

#include <algorithm>
#include <string>

#include "base/character_classes.h"

namespace {

// The name as it stands in a head: with its colon.
std::string FieldPrefix(std::string_view name) {
    std::string prefix(name);
    if (prefix.empty() || prefix.back() != ':') prefix += ':';
    return prefix;
}

bool IsLineEnd(Byte c) {
    return c == '\r' || c == '\n';
}

const Byte* LineEnd(const Byte* p, const Byte* end) {
    return std::find_if(p, end, IsLineEnd);
}

// Where the line after the line end at `p` begins: CR LF is one line end, CR or LF alone another.
const Byte* NextLine(const Byte* p, const Byte* end) {
    return p + (*p == '\r' && p + 1 != end && p[1] == '\n' ? 2 : 1);
}

ConstData FindField(ConstData head, const std::string& prefix) {
    ConstData wanted(prefix);
    for (const Byte* p = head.begin; static_cast<std::size_t>(head.end - p) >= prefix.size(); ++p) {
        if (p != head.begin && !IsLineEnd(p[-1])) continue;
        if (!Ascii::EqualIgnoringCase({p, p + prefix.size()}, wanted)) continue;
        const Byte* end = LineEnd(p, head.end);
        while (end != head.end) {
            const Byte* next = NextLine(end, head.end);
            if (next == head.end || !Ascii::Blanks().Contains(*next)) break;
            end = LineEnd(next, head.end);
        }
        return {p, end};
    }
    return {};
}

}  // namespace

ConstData FindHeaderField(ConstData head, std::string_view name) {
    return FindField(head, FieldPrefix(name));
}

ConstData GetHeaderFieldValue(ConstData head, std::string_view name) {
    std::string prefix = FieldPrefix(name);
    ConstData field = FindField(head, prefix);
    if (field.Length() <= prefix.size()) return {};
    return {field.begin + prefix.size(), field.end};
}
