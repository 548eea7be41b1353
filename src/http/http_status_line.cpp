#include "http/http_status_line.h"

#include <algorithm>

#include "base/character_classes.h"

ConstData GetFirstLine(ConstData text) {
    const Byte* end = std::find_if(text.begin, text.end, [](Byte c) { return c == '\r' || c == '\n'; });
    return {text.begin, end};
}

ConstData GetStatusAfterVersion(ConstData statusLine) {
    static constexpr std::string_view kVersionPrefix = "HTTP/";
    if (statusLine.Length() < kVersionPrefix.size() ||
        !Ascii::EqualIgnoringCase({statusLine.begin, statusLine.begin + kVersionPrefix.size()},
                                  ConstData(kVersionPrefix)))
        return {};
    const Byte* p = statusLine.begin + kVersionPrefix.size();
    const CharacterClass& blanks = Ascii::Blanks();
    while (p != statusLine.end && !blanks.Contains(*p)) ++p;
    while (p != statusLine.end && blanks.Contains(*p)) ++p;
    return {p, statusLine.end};
}
