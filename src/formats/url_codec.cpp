#include "formats/url_codec.h"

#include <algorithm>

#include "base/numerals.h"
#include "foundation/endian.h"

namespace {

constexpr CharacterClass kURLSafe =
    CharacterClass().AddRange('A', 'Z').AddRange('a', 'z').AddRange('0', '9').Add("-._~");
constexpr CharacterClass kURLPathSegment = CharacterClass(kURLSafe).Add("!$%&'()*+,;=:@");
constexpr CharacterClass kURLPathNoColon = CharacterClass(kURLSafe).Add("!$%&'()*+,;=@");

bool IsHexDigit(Byte c) {
    return Ascii::HexDigits().Contains(c);
}

}  // namespace

const CharacterClass& URLSafeCharacters() {
    return kURLSafe;
}
const CharacterClass& URLPathSegmentCharacters() {
    return kURLPathSegment;
}
const CharacterClass& URLPathNoColonCharacters() {
    return kURLPathNoColon;
}

// Returns false when the output filled up before the digits were all written.
bool URLEncoder::WriteDueDigits(OutputRange& output) {
    while (m_digitsDue != 0) {
        if (output.IsFull()) return false;
        unsigned nibble = m_digitsDue == 2 ? m_escaped >> 4 : m_escaped & 0x0F;
        *output.begin++ = static_cast<Byte>(HexDigitChar(nibble));
        --m_digitsDue;
    }
    return true;
}

void URLEncoder::Filter(ConstData& input, OutputRange& output) {
    if (!WriteDueDigits(output)) return;
    while (!input.IsEmpty() && !output.IsFull()) {
        Byte c = *input.begin++;
        if (m_safe->Contains(c)) {
            *output.begin++ = c;
            continue;
        }
        *output.begin++ = '%';
        m_escaped = c;
        m_digitsDue = 2;
        if (!WriteDueDigits(output)) return;
    }
}

void URLEncoder::Finish(OutputRange& output) {
    WriteDueDigits(output);
}

void URLDecoder::Filter(ConstData& input, OutputRange& output) {
    for (;;) {
        switch (m_state) {
            case State::Text:
                while (!input.IsEmpty() && !output.IsFull() && *input.begin != '%')
                    *output.begin++ = *input.begin++;
                if (input.IsEmpty() || output.IsFull()) return;
                ++input.begin;
                m_state = State::Percent;
                break;
            case State::Percent:
                if (input.IsEmpty()) return;
                if (IsHexDigit(*input.begin)) {
                    m_heldDigit = *input.begin++;
                    m_state = State::PercentDigit;
                } else {
                    // Not an escape: the "%" is text, and so is the byte after it.
                    if (output.IsFull()) return;
                    *output.begin++ = '%';
                    m_state = State::Text;
                }
                break;
            case State::PercentDigit:
                if (input.IsEmpty() || output.IsFull()) return;
                if (IsHexDigit(*input.begin)) {
                    *output.begin++ =
                        static_cast<Byte>(HexDigitValue(m_heldDigit) * 16 + HexDigitValue(*input.begin++));
                    m_state = State::Text;
                } else {
                    *output.begin++ = '%';
                    m_state = State::HeldDigitDue;
                }
                break;
            case State::HeldDigitDue:
                if (output.IsFull()) return;
                *output.begin++ = m_heldDigit;
                m_state = State::Text;
                break;
        }
    }
}

void URLDecoder::Finish(OutputRange& output) {
    if (m_state == State::Percent || m_state == State::PercentDigit) ThrowIfFull(output, '%');
    if (m_state == State::PercentDigit || m_state == State::HeldDigitDue) {
        m_state = State::HeldDigitDue;
        ThrowIfFull(output, m_heldDigit);
    }
    m_state = State::Text;
}

std::string URLEncodeText(ConstData text, const CharacterClass& safe) {
    std::size_t unsafe = static_cast<std::size_t>(
        std::count_if(text.begin, text.end, [&](Byte c) { return !safe.Contains(c); }));
    std::string encoded(text.Length() + 2 * unsafe, '\0');
    OutputRange output(encoded.data(), encoded.size());
    URLEncoder(safe).Filter(text, output);
    return encoded;
}

std::string URLDecodeText(ConstData text) {
    std::string decoded(text.Length(), '\0');
    OutputRange output(decoded.data(), decoded.size());
    URLDecoder().Filter(text, output);
    decoded.resize(static_cast<std::size_t>(output.begin - reinterpret_cast<Byte*>(decoded.data())));
    return decoded;
}

bool AllCharactersIn(ConstData range, const CharacterClass& characters) {
    return std::all_of(range.begin, range.end, [&](Byte c) { return characters.Contains(c); });
}

std::pair<ConstData, ConstData> SplitAtSemicolon(ConstData text) {
    const Byte* semicolon = std::find(text.begin, text.end, Byte{';'});
    return {ConstData(text.begin, semicolon), ConstData(semicolon, text.end)};
}
