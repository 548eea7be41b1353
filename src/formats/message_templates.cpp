#include "formats/message_templates.h"

#include <algorithm>
#include <array>

#include "base/character_classes.h"

namespace {

struct BuiltInVariable {
    std::string_view name;
    std::string_view value;
};

// Sorted by name, for the binary search of LookUpFormatVariable.
constexpr std::array<BuiltInVariable, 6> kBuiltIns = {{
    {"_cbrace", "}"},
    {"_cr", "\r"},
    {"_crlf", "\r\n"},
    {"_lf", "\n"},
    {"_obrace", "{"},
    {"_tab", "\t"},
}};

bool ByteWiseLess(ConstData a, ConstData b) {
    return std::lexicographical_compare(a.begin, a.end, b.begin, b.end);
}

bool ByteWiseEqual(ConstData a, ConstData b) {
    return std::equal(a.begin, a.end, b.begin, b.end);
}

const BuiltInVariable* FindBuiltIn(ConstData name) {
    auto found = std::lower_bound(
        kBuiltIns.begin(), kBuiltIns.end(), name,
        [](const BuiltInVariable& entry, ConstData key) { return ByteWiseLess(ConstData(entry.name), key); });
    if (found == kBuiltIns.end() || !ByteWiseEqual(ConstData(found->name), name)) return nullptr;
    return &*found;
}

bool BindingLess(const FormatBinding& a, const FormatBinding& b) {
    if (ByteWiseLess(a.name, b.name)) return true;
    if (ByteWiseLess(b.name, a.name)) return false;
    return ByteWiseLess(a.value.text, b.value.text);
}

}  // namespace

bool FormatStringScanner::Next() {
    if (m_next == m_end) return false;
    const Byte* open = std::find(m_next, m_end, Byte{'{'});
    if (open == m_next) {
        const Byte* close = std::find(open + 1, m_end, Byte{'}'});
        if (close == m_end) throw BadFormatStringError();
        m_piece = {ConstData(open + 1, close), true};
        m_next = close + 1;
    } else {
        m_piece = {ConstData(m_next, open), false};
        m_next = open;
    }
    return true;
}

bool IsBuiltInFormatVariable(ConstData name) {
    if (name.IsEmpty()) throw ImproperFormatVariableName();
    return name.begin[0] == '_';
}

void CheckFormatVariableName(ConstData name) {
    if (IsBuiltInFormatVariable(name)) {
        if (!FindBuiltIn(name)) throw UndefinedFormatVariable();
        return;
    }
    for (const Byte* p = name.begin + 1; p != name.end; ++p)
        if (!Ascii::IdentifierCharacters().Contains(*p)) throw ImproperFormatVariableName();
}

OptionalText LookUpFormatVariable(ConstData name, std::span<const FormatBinding> bindings) {
    if (IsBuiltInFormatVariable(name)) {
        const BuiltInVariable* builtIn = FindBuiltIn(name);
        if (!builtIn) throw UndefinedFormatVariable();
        return OptionalText(ConstData(builtIn->value));
    }
    auto found = std::lower_bound(
        bindings.begin(), bindings.end(), name,
        [](const FormatBinding& binding, ConstData key) { return ByteWiseLess(binding.name, key); });
    if (found == bindings.end() || !ByteWiseEqual(found->name, name)) throw UndefinedFormatVariable();
    return found->value;
}

OptionalText FormatPieceValue(const FormatPiece& piece, std::span<const FormatBinding> bindings) {
    if (!piece.isVariable) return OptionalText(piece.text);
    return LookUpFormatVariable(piece.text, bindings);
}

std::vector<FormatBinding> FormatText(ConstData templateText, std::span<const OptionalText> arguments) {
    std::vector<FormatBinding> bindings;
    bindings.reserve(arguments.size());
    FormatStringScanner scanner(templateText);
    while (scanner.Next()) {
        const FormatPiece& piece = scanner.Piece();
        if (!piece.isVariable) continue;
        CheckFormatVariableName(piece.text);
        if (IsBuiltInFormatVariable(piece.text)) continue;
        if (bindings.size() == arguments.size()) throw TooManyFormatArguments();
        bindings.push_back({piece.text, arguments[bindings.size()]});
    }
    if (bindings.size() != arguments.size()) throw TooFewFormatArguments();
    std::sort(bindings.begin(), bindings.end(), BindingLess);
    return bindings;
}

std::string FormatToString(ConstData templateText, std::span<const FormatBinding> bindings) {
    std::string text;
    FormatStringScanner scanner(templateText);
    while (scanner.Next()) text += FormatPieceValue(scanner.Piece(), bindings).text.View();
    return text;
}
