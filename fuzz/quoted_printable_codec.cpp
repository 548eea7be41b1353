// Quoted-printable decoding of hostile lines: every line cut into pieces must decode as it does
// whole. The input is cut into lines at LF; its first byte sets the piece length.

#include <cstdint>
#include <string>
#include <vector>

#include "filter_fuzzing.h"
#include "formats/quoted_printable_codec.h"
#include "foundation/data_stages.h"

namespace {

std::vector<std::string> Decode(ConstData input, std::size_t piece) {
    std::vector<std::string> lines;
    LineListMaker list(lines);
    QuotedPrintableLineMaker maker;
    maker.SetTarget(list);
    maker.Begin(0);
    const Byte* lineStart = input.begin;
    for (const Byte* p = input.begin;; ++p) {
        if (p == input.end || *p == '\n') {
            for (const Byte* q = lineStart; q != p;) {
                const Byte* pieceEnd = static_cast<std::size_t>(p - q) < piece ? p : q + piece;
                maker.ReceiveText(q, pieceEnd);
                q = pieceEnd;
            }
            if (p == input.end) break;
            maker.EndLine(0, 0);
            lineStart = p + 1;
        }
    }
    maker.End(0);
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzShape shape = ShapeOf(data, size);
    Check(Decode(shape.input, shape.piece) == Decode(shape.input, shape.input.Length() + 1));
    return 0;
}
