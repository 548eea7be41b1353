#include "formats/hex_codec.h"

#include <algorithm>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "foundation/data_filterer.h"
#include "foundation/data_stages.h"
#include "foundation/endian.h"

void HexEncoder::Filter(ConstData& input, OutputRange& output) {
    if (m_pending != 0) {
        if (output.IsFull()) return;
        *output.begin++ = m_pending;
        m_pending = 0;
    }
    std::size_t count = std::min(input.Length(), output.Room() / 2);
    for (const Byte* end = input.begin + count; input.begin != end; ++input.begin) {
        *output.begin++ = static_cast<Byte>(HexDigitChar(*input.begin >> 4));
        *output.begin++ = static_cast<Byte>(HexDigitChar(*input.begin & 0x0F));
    }
    // One place left: write the high digit now and hold the low one for the next call.
    if (!input.IsEmpty() && output.Room() == 1) {
        *output.begin++ = static_cast<Byte>(HexDigitChar(*input.begin >> 4));
        m_pending = static_cast<Byte>(HexDigitChar(*input.begin & 0x0F));
        ++input.begin;
    }
}

void HexEncoder::Finish(OutputRange& output) {
    if (m_pending == 0) return;
    ThrowIfFull(output, m_pending);
    m_pending = 0;
}

namespace {

// Consumes input up to and including the next hexadecimal digit and returns it; 0 when the input
// holds none (it is then used up).
Byte NextHexDigit(ConstData& input) {
    while (!input.IsEmpty()) {
        Byte c = *input.begin++;
        if (Ascii::HexDigits().Contains(c)) return c;
    }
    return 0;
}

}  // namespace

void HexDecoder::Filter(ConstData& input, OutputRange& output) {
    if (m_pendingDigit == 0) {
        m_pendingDigit = NextHexDigit(input);
        if (m_pendingDigit == 0) return;
    }
    while (!output.IsFull()) {
        Byte second = NextHexDigit(input);
        if (second == 0) return;
        *output.begin++ = static_cast<Byte>(HexDigitValue(m_pendingDigit) * 16 + HexDigitValue(second));
        m_pendingDigit = NextHexDigit(input);
        if (m_pendingDigit == 0) return;
    }
}

std::string HexEncodeText(ConstData data) {
    std::string text(data.Length() * 2, '\0');
    OutputRange output(text.data(), text.size());
    HexEncoder().Filter(data, output);
    return text;
}

std::string HexDecodeText(ConstData text) {
    std::string bytes;
    StringReceiver receiver(bytes);
    HexDecoder decoder;
    FilterRangeInto(receiver, text, decoder);
    return bytes;
}
