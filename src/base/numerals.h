// Reading and writing integers as text, over byte ranges and without the C library or its locale.
//
// The parsers take the whole range as the numeral: no blanks, no radix prefix, and no sign unless
// stated. They report by NumeralStatus and leave `value` unchanged on failure; the throwing forms
// map the status to NotANumeral or NumeralTooLarge. The digit writers fill a ConstDataBuffer by value;
// IntegerText formats into its own buffer in any radix from 2 to 36. All are thread-safe (no shared
// state).
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

#include "base/const_data.h"
#include "base/const_data_buffer.h"
#include "base/exceptions.h"

class NotANumeral : public DebuggableException {};
class NumeralTooLarge : public DebuggableException {};

enum class NumeralStatus : unsigned {
    Success = 0,
    NotANumeral = 1,  // an empty range, or a byte that is not a digit of the radix
    TooLarge = 2,     // the value does not fit the result type
};

NumeralStatus ParseDecimalUInt64(ConstData range, std::uint64_t& value);
// Digits 0-9, A-F and a-f.
NumeralStatus ParseHexUInt64(ConstData range, std::uint64_t& value);
// An optional leading "-" or "+"; "-9223372036854775808" gives the smallest value.
NumeralStatus ParseDecimalInt64(ConstData range, std::int64_t& value);
NumeralStatus ParseDecimalUInt32(ConstData range, std::uint32_t& value);

// The value, or `defaultValue` when the range is not a numeral that fits.
std::uint32_t DecimalToUInt32OrDefault(ConstData range, std::uint32_t defaultValue);
std::uint64_t DecimalToUInt64OrDefault(ConstData range, std::uint64_t defaultValue);

// The value; throw NotANumeral or NumeralTooLarge.
std::uint32_t DecimalToUInt32(ConstData range);
std::uint32_t HexToUInt32(ConstData range);
std::uint64_t DecimalToUInt64(ConstData range);
std::uint64_t HexToUInt64(ConstData range);

// Returns for Success; throws NotANumeral or NumeralTooLarge for the others.
void ThrowNumeralStatus(NumeralStatus status);

// The value of a hexadecimal digit; callers check Ascii::HexDigits() first (other bytes give
// meaningless values).
unsigned HexDigitValue(Byte c);
// "0"-"9" for 0-9, "a"-"f" for 10-15.
char HexDigitChar(unsigned value);

// Digits left-padded with "0" to at least minWidth (minWidth 0 writes nothing for the value 0). A
// minWidth wider than the holder throws ConstDataCapacityExceeded.
ConstDataBuffer<20> FormatDecimalDigits(std::uint64_t value, unsigned minWidth);
ConstDataBuffer<16> FormatHexDigits(std::uint64_t value, unsigned minWidth);
// "-" and the padded digits of the magnitude for a negative value.
ConstDataBuffer<21> FormatSignedDecimalDigits(std::int64_t value, unsigned minWidth);
ConstDataBuffer<10> AppendDecimal(std::uint32_t value, unsigned minWidth);
ConstDataBuffer<8> AppendHex(std::uint32_t value, unsigned minWidth);
ConstDataBuffer<11> AppendSignedDecimal(std::int32_t value, unsigned minWidth);

// An integer as text in radix 2 to 36 (digits above 9 are lower-case letters), "-" before a negative
// value; another radix raises RequirementFailure. Copyable; GetText() points into the object.
class IntegerText {
  public:
    static constexpr unsigned kMaxDigits = 64;

    template <std::integral T>
    explicit IntegerText(T value, unsigned radix = 10) {
        if constexpr (std::is_signed_v<T>) {
            std::int64_t wide = value;
            // The magnitude of the smallest value is computed in unsigned arithmetic, where it fits.
            std::uint64_t magnitude = wide < 0 ? 0 - static_cast<std::uint64_t>(wide) : wide;
            WriteDigits(magnitude, radix, wide < 0);
        } else {
            WriteDigits(static_cast<std::uint64_t>(value), radix, false);
        }
    }

    // Prepends "0" until at least `width` digits stand; a width above kMaxDigits throws
    // ConstDataCapacityExceeded.
    void PadWithZeros(unsigned width);
    ConstData GetText() const;

  private:
    void WriteDigits(std::uint64_t magnitude, unsigned radix, bool negative);

    // Digits fill m_buffer from its end; m_buffer[0] is kept free for the sign, which is written just
    // before the first digit so that the text is one contiguous range.
    unsigned m_first = 0;
    char m_signCharacter = 0;
    bool m_showSign = false;
    Byte m_buffer[1 + kMaxDigits];
};
