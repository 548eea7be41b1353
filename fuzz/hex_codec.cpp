// Hex decoding of hostile text: fed in pieces into small outputs it must give what one pass gives,
// and encoding any bytes must decode back to them.

#include <cstdint>

#include "filter_fuzzing.h"
#include "formats/hex_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzShape shape = ShapeOf(data, size);
    HexDecoder decoder;
    std::string piecewise = RunFilterInPieces(decoder, shape.input, shape.piece, shape.room);
    Check(piecewise == HexDecodeText(shape.input));

    HexEncoder encoder;
    std::string encoded = RunFilterInPieces(encoder, shape.input, shape.piece, shape.room);
    Check(encoded == HexEncodeText(shape.input));
    Check(HexDecodeText(ConstData(std::string_view(encoded))) == std::string(shape.input.View()));
    return 0;
}
