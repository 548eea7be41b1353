// Numeral and floating-point parsers over arbitrary bytes: they must never crash, and whatever they
// accept must come back through the writers (integers unchanged, floating-point values within the
// uncertainty their text expressed).

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "base/numerals.h"
#include "foundation/floating_point_text.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void CheckIntegers(ConstData input) {
    std::uint64_t unsigned64 = 0;
    if (ParseDecimalUInt64(input, unsigned64) == NumeralStatus::Success)
        Check(DecimalToUInt64(FormatDecimalDigits(unsigned64, 1).GetConstData()) == unsigned64);
    std::uint64_t hex = 0;
    if (ParseHexUInt64(input, hex) == NumeralStatus::Success)
        Check(HexToUInt64(FormatHexDigits(hex, 1).GetConstData()) == hex);
    std::int64_t signed64 = 0;
    if (ParseDecimalInt64(input, signed64) == NumeralStatus::Success) {
        std::int64_t again = 0;
        Check(ParseDecimalInt64(FormatSignedDecimalDigits(signed64, 1).GetConstData(), again) ==
                  NumeralStatus::Success &&
              again == signed64);
    }
    std::uint32_t unsigned32 = 0;
    if (ParseDecimalUInt32(input, unsigned32) == NumeralStatus::Success)
        Check(DecimalToUInt32(AppendDecimal(unsigned32, 1).GetConstData()) == unsigned32);
}

void CheckFloatingPoint(ConstData input) {
    ParsedFloatingPoint parsed;
    try {
        parsed = ParseFloatingPoint(input);
    } catch (const NotAFloatingPoint&) {
        return;
    }
    if (!std::isfinite(parsed.value) || !std::isfinite(parsed.uncertainty)) return;
    FloatingPointText text;
    try {
        text = FormatFloatingPoint(parsed.value, parsed.uncertainty);
    } catch (const TooLargeForStandardNotation&) {
        Check(std::fabs(parsed.value) >= 9e52);
        return;
    }
    ParsedFloatingPoint again = ParseFloatingPoint(text.GetConstData());
    Check(std::fabs(again.value - parsed.value) <= parsed.uncertainty);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckIntegers(ConstData(data, size));
    CheckFloatingPoint(ConstData(data, size));
    return 0;
}
