// URL decoding of hostile text: fed in pieces into small outputs it must give what one pass and
// Finish give, and encoding any bytes with any of the three sets must decode back to them.

#include <cstdint>

#include "filter_fuzzing.h"
#include "formats/url_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzShape shape = ShapeOf(data, size);
    URLDecoder decoder;
    std::string piecewise = RunFilterInPieces(decoder, shape.input, shape.piece, shape.room);
    URLDecoder whole;
    Check(piecewise ==
          RunFilterInPieces(whole, shape.input, shape.input.Length() + 1, shape.input.Length() + 3));
    // The one-shot form only drops an escape cut off at the very end.
    std::string oneShot = URLDecodeText(shape.input);
    Check(piecewise.compare(0, oneShot.size(), oneShot) == 0 && piecewise.size() - oneShot.size() <= 2);

    const CharacterClass* sets[] = {&URLSafeCharacters(), &URLPathSegmentCharacters(),
                                    &URLPathNoColonCharacters()};
    for (const CharacterClass* safe : sets) {
        URLEncoder encoder(*safe);
        std::string encoded = RunFilterInPieces(encoder, shape.input, shape.piece, shape.room);
        Check(encoded == URLEncodeText(shape.input, *safe));
        // The path sets let "%" through unescaped, so only the strict set round-trips every input.
        if (safe == &URLSafeCharacters())
            Check(URLDecodeText(ConstData(std::string_view(encoded))) == std::string(shape.input.View()));
    }
    return 0;
}
