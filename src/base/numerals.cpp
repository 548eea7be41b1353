#include "base/numerals.h"

#include <limits>

#include "base/character_classes.h"

namespace {

// The overflow test of the multiplication comes before the digit test, so a range whose digits
// already overflow reports TooLarge even when a later byte is not a digit.
NumeralStatus ParseUnsigned(ConstData range, unsigned radix, const CharacterClass& digits,
                            std::uint64_t& value) {
    if (range.IsEmpty()) return NumeralStatus::NotANumeral;
    std::uint64_t result = 0;
    for (const Byte* p = range.begin; p != range.end; ++p) {
        if (!MultiplyFitsIn64(result, radix)) return NumeralStatus::TooLarge;
        result *= radix;
        if (!digits.Contains(*p)) return NumeralStatus::NotANumeral;
        unsigned digit = HexDigitValue(*p);
        if (!AddFitsIn64(result, digit)) return NumeralStatus::TooLarge;
        result += digit;
    }
    value = result;
    return NumeralStatus::Success;
}

NumeralStatus NarrowTo32(NumeralStatus (*parse)(ConstData, std::uint64_t&), ConstData range,
                         std::uint32_t& value) {
    std::uint64_t wide = 0;
    NumeralStatus status = parse(range, wide);
    if (status != NumeralStatus::Success) return status;
    if (wide > std::numeric_limits<std::uint32_t>::max()) return NumeralStatus::TooLarge;
    value = static_cast<std::uint32_t>(wide);
    return NumeralStatus::Success;
}

NumeralStatus ParseHexUInt32(ConstData range, std::uint32_t& value) {
    return NarrowTo32(ParseHexUInt64, range, value);
}

template <typename T>
T ValueOrThrow(NumeralStatus (*parse)(ConstData, T&), ConstData range) {
    T value = 0;
    ThrowNumeralStatus(parse(range, value));
    return value;
}

// Writes the digits of `magnitude` backwards into `scratch`, at least minWidth of them, with "-" in
// front when `negative`; throws instead of writing before the scratch area.
template <std::size_t N>
ConstDataBuffer<N> FormatDigits(std::uint64_t magnitude, unsigned radix, unsigned minWidth, bool negative) {
    Byte scratch[N];
    Byte* const firstDigitSlot = scratch + (negative ? 1 : 0);
    Byte* cursor = scratch + N;
    unsigned produced = 0;
    while (magnitude != 0 || produced < minWidth) {
        if (cursor == firstDigitSlot) throw ConstDataCapacityExceeded();
        *--cursor = static_cast<Byte>(HexDigitChar(static_cast<unsigned>(magnitude % radix)));
        magnitude /= radix;
        ++produced;
    }
    if (negative) *--cursor = '-';
    return ConstDataBuffer<N>(ConstData(cursor, scratch + N));
}

std::uint64_t Magnitude(std::int64_t value) {
    return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

}  // namespace

NumeralStatus ParseDecimalUInt64(ConstData range, std::uint64_t& value) {
    return ParseUnsigned(range, 10, Ascii::Digits(), value);
}

NumeralStatus ParseHexUInt64(ConstData range, std::uint64_t& value) {
    return ParseUnsigned(range, 16, Ascii::HexDigits(), value);
}

NumeralStatus ParseDecimalInt64(ConstData range, std::int64_t& value) {
    if (range.IsEmpty()) return NumeralStatus::NotANumeral;
    constexpr std::uint64_t kSmallestMagnitude = std::uint64_t(1) << 63;
    bool negative = *range.begin == '-';
    if (negative || *range.begin == '+') ++range.begin;
    std::uint64_t magnitude = 0;
    NumeralStatus status = ParseDecimalUInt64(range, magnitude);
    if (status != NumeralStatus::Success) return status;
    if (magnitude > kSmallestMagnitude || (!negative && magnitude == kSmallestMagnitude))
        return NumeralStatus::TooLarge;
    if (magnitude == kSmallestMagnitude)
        value = std::numeric_limits<std::int64_t>::min();
    else
        value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return NumeralStatus::Success;
}

NumeralStatus ParseDecimalUInt32(ConstData range, std::uint32_t& value) {
    return NarrowTo32(ParseDecimalUInt64, range, value);
}

std::uint32_t DecimalToUInt32OrDefault(ConstData range, std::uint32_t defaultValue) {
    std::uint32_t value = defaultValue;
    return ParseDecimalUInt32(range, value) == NumeralStatus::Success ? value : defaultValue;
}

std::uint64_t DecimalToUInt64OrDefault(ConstData range, std::uint64_t defaultValue) {
    std::uint64_t value = defaultValue;
    return ParseDecimalUInt64(range, value) == NumeralStatus::Success ? value : defaultValue;
}

std::uint32_t DecimalToUInt32(ConstData range) {
    return ValueOrThrow(ParseDecimalUInt32, range);
}
std::uint32_t HexToUInt32(ConstData range) {
    return ValueOrThrow(ParseHexUInt32, range);
}
std::uint64_t DecimalToUInt64(ConstData range) {
    return ValueOrThrow(ParseDecimalUInt64, range);
}
std::uint64_t HexToUInt64(ConstData range) {
    return ValueOrThrow(ParseHexUInt64, range);
}

void ThrowNumeralStatus(NumeralStatus status) {
    switch (status) {
        case NumeralStatus::Success:
            return;
        case NumeralStatus::NotANumeral:
            throw NotANumeral();
        case NumeralStatus::TooLarge:
            throw NumeralTooLarge();
    }
}

unsigned HexDigitValue(Byte c) {
    return c <= '9' ? c - '0' : (c | 0x20u) - 87;
}

char HexDigitChar(unsigned value) {
    return "0123456789abcdefghijklmnopqrstuvwxyz"[value];
}

ConstDataBuffer<20> FormatDecimalDigits(std::uint64_t value, unsigned minWidth) {
    return FormatDigits<20>(value, 10, minWidth, false);
}

ConstDataBuffer<16> FormatHexDigits(std::uint64_t value, unsigned minWidth) {
    return FormatDigits<16>(value, 16, minWidth, false);
}

ConstDataBuffer<21> FormatSignedDecimalDigits(std::int64_t value, unsigned minWidth) {
    return FormatDigits<21>(Magnitude(value), 10, minWidth, value < 0);
}

ConstDataBuffer<10> AppendDecimal(std::uint32_t value, unsigned minWidth) {
    return FormatDigits<10>(value, 10, minWidth, false);
}

ConstDataBuffer<8> AppendHex(std::uint32_t value, unsigned minWidth) {
    return FormatDigits<8>(value, 16, minWidth, false);
}

ConstDataBuffer<11> AppendSignedDecimal(std::int32_t value, unsigned minWidth) {
    return FormatDigits<11>(Magnitude(value), 10, minWidth, value < 0);
}

void IntegerText::WriteDigits(std::uint64_t magnitude, unsigned radix, bool negative) {
    KVR_REQUIRE(radix >= 2 && radix <= 36);
    unsigned position = sizeof m_buffer;
    do {
        m_buffer[--position] = static_cast<Byte>(HexDigitChar(static_cast<unsigned>(magnitude % radix)));
        magnitude /= radix;
    } while (magnitude != 0);
    m_first = position;
    m_showSign = negative;
    m_signCharacter = negative ? '-' : 0;
    if (m_showSign) m_buffer[m_first - 1] = m_signCharacter;
}

void IntegerText::PadWithZeros(unsigned width) {
    // A width beyond the buffer used to write before it; it is refused instead.
    if (width > kMaxDigits) throw ConstDataCapacityExceeded();
    while (sizeof m_buffer - m_first < width) m_buffer[--m_first] = '0';
    if (m_showSign) m_buffer[m_first - 1] = m_signCharacter;
}

ConstData IntegerText::GetText() const {
    unsigned start = m_showSign ? m_first - 1 : m_first;
    return ConstData(m_buffer + start, m_buffer + sizeof m_buffer);
}
