// Hostile operator lists: the parse must never read outside the text, every operator it yields must
// carry a sequence in range and its four required fields, and Unique must hold exactly for the
// operators (not database sites) that share no common name and type with another. Input: the first
// byte's low bit switches percent-decoding, the rest is the list.

#include <cstdint>
#include <cstdlib>

#include "base/character_classes.h"
#include "crypto/masthead_operators.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool SameOperator(const MastheadOperator& a, const MastheadOperator& b) {
    return Ascii::EqualIgnoringCase(std::string_view(a.CommonName), b.CommonName) &&
           Ascii::EqualIgnoringCase(std::string_view(a.Type), b.Type);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool percentDecoding = (data[0] & 1) != 0;
    MastheadOperatorList operators;
    const bool accepted = ParseMastheadOperatorList(ConstData(data + 1, data + size), percentDecoding, operators);
    Check(accepted || operators.empty());
    for (std::size_t i = 0; i < operators.size(); ++i) {
        const MastheadOperator& item = operators[i];
        Check(item.Sequence > 0);
        Check(!item.CommonName.empty() && !item.Type.empty() && !item.DatabaseName.empty());
        if (item.DatabaseIsSite) {
            Check(item.Unique);
            continue;
        }
        bool twin = false;
        for (std::size_t j = 0; j < operators.size(); ++j)
            if (j != i && !operators[j].DatabaseIsSite && SameOperator(item, operators[j])) twin = true;
        Check(item.Unique == !twin);
    }
    return 0;
}
