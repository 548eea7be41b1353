#include "crypto/name_comparison.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "base/character_classes.h"

namespace {

constexpr std::array<std::string_view, 2> kIgnoredValuePrefixes = {"CustomActions:", "CustomRetrievedProperties:"};

std::string_view ValueText(const X509_NAME_ENTRY* entry) {
    const ASN1_STRING* value = X509_NAME_ENTRY_get_data(entry);
    return std::string_view(reinterpret_cast<const char*>(ASN1_STRING_get0_data(value)),
                            static_cast<std::size_t>(ASN1_STRING_length(value)));
}

int ValueType(const X509_NAME_ENTRY* entry) { return ASN1_STRING_type(X509_NAME_ENTRY_get_data(entry)); }

// Lower-cased, without white space at either end, each inner run of white space one space.
std::string FoldedPrintable(std::string_view value) {
    const CharacterClass& space = Ascii::Whitespace();
    std::string folded;
    bool pendingSpace = false;
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if (space.Contains(byte)) {
            pendingSpace = !folded.empty();
            continue;
        }
        if (pendingSpace) folded += ' ';
        pendingSpace = false;
        folded += static_cast<char>(Ascii::LowerCaseTable()[byte]);
    }
    return folded;
}

// The first differing characters decide; when one value ends first, the lengths left over.
int CompareCharacters(std::string_view a, std::string_view b) {
    auto [atA, atB] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    if (atA != a.end() && atB != b.end())
        return static_cast<unsigned char>(*atA) - static_cast<unsigned char>(*atB);
    return static_cast<int>(a.end() - atA) - static_cast<int>(b.end() - atB);
}

int CompareLengths(std::string_view a, std::string_view b) {
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
}

int CompareValues(const X509_NAME_ENTRY* a, const X509_NAME_ENTRY* b) {
    std::string_view valueA = ValueText(a);
    std::string_view valueB = ValueText(b);
    int type = ValueType(a);
    if (type == V_ASN1_PRINTABLESTRING) return CompareCharacters(FoldedPrintable(valueA), FoldedPrintable(valueB));
    if (int byLength = CompareLengths(valueA, valueB)) return byLength;
    if (type == V_ASN1_IA5STRING && OBJ_obj2nid(X509_NAME_ENTRY_get_object(a)) == NID_pkcs9_emailAddress) {
        std::string lowerA(valueA), lowerB(valueB);
        for (char& c : lowerA) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<unsigned char>(c)]);
        for (char& c : lowerB) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<unsigned char>(c)]);
        return CompareCharacters(lowerA, lowerB);
    }
    int byBytes = valueA.compare(valueB);
    return byBytes < 0 ? -1 : byBytes > 0 ? 1 : 0;
}

// Walks a name's entries from the last to the first, passing over prefixed entries.
class BackwardEntries {
  public:
    explicit BackwardEntries(const X509_NAME* name) : m_name(name), m_next(X509_NAME_entry_count(name) - 1) {}

    // The next entry that takes part, or null at the front.
    const X509_NAME_ENTRY* Next() {
        for (; m_next >= 0; --m_next) {
            const X509_NAME_ENTRY* entry = X509_NAME_get_entry(m_name, m_next);
            if (!IsPrefixedNameEntry(entry)) {
                --m_next;
                return entry;
            }
        }
        return nullptr;
    }

  private:
    const X509_NAME* m_name;
    int m_next;
};

int CountTakingPart(const X509_NAME* name) {
    int count = 0;
    for (BackwardEntries entries(name); entries.Next();) ++count;
    return count;
}

}  // namespace

bool IsPrefixedNameEntry(const X509_NAME_ENTRY* entry) {
    if (ValueType(entry) != V_ASN1_PRINTABLESTRING) return false;
    std::string_view value = ValueText(entry);
    return std::any_of(kIgnoredValuePrefixes.begin(), kIgnoredValuePrefixes.end(),
                       [&](std::string_view prefix) { return value.starts_with(prefix); });
}

int CompareNamesIgnoringPrefixedEntries(const X509_NAME* a, const X509_NAME* b) {
    BackwardEntries entriesA(a), entriesB(b);
    for (;;) {
        const X509_NAME_ENTRY* entryA = entriesA.Next();
        const X509_NAME_ENTRY* entryB = entriesB.Next();
        if (!entryA || !entryB) break;
        if (ValueType(entryA) != ValueType(entryB)) return ValueType(entryA) - ValueType(entryB);
        if (int byValue = CompareValues(entryA, entryB)) return byValue;
        if (X509_NAME_ENTRY_set(entryA) != X509_NAME_ENTRY_set(entryB))
            return X509_NAME_ENTRY_set(entryA) - X509_NAME_ENTRY_set(entryB);
        if (int byType = OBJ_cmp(X509_NAME_ENTRY_get_object(entryA), X509_NAME_ENTRY_get_object(entryB)))
            return byType;
    }
    return CountTakingPart(a) - CountTakingPart(b);
}
