// Base64 decoding of hostile text: fed in pieces into small outputs it must give what one pass gives,
// and encoding any bytes must decode back to them.

#include <cstdint>

#include "filter_fuzzing.h"
#include "formats/base64_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzShape shape = ShapeOf(data, size);
    Base64Decoder decoder;
    std::string piecewise = RunFilterInPieces(decoder, shape.input, shape.piece, shape.room);
    Check(piecewise == Base64DecodeText(shape.input));

    Base64Encoder encoder;
    std::string encoded = RunFilterInPieces(encoder, shape.input, shape.piece, shape.room);
    Check(encoded == Base64EncodeText(shape.input));
    Check(encoded.size() % 4 == 0);
    Check(Base64DecodeText(ConstData(std::string_view(encoded))) == std::string(shape.input.View()));
    return 0;
}
