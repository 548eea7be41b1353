#include "formats/stream_transcoders.h"

#include <algorithm>

#include "formats/charset_names.h"

namespace {

// Output of one Receive call. Units are gathered in a fixed buffer and pushed to the target when
// fewer than `Reserve` units of room remain (the most one character needs) and when the call ends.
template <class E, std::size_t Capacity, std::size_t Reserve>
class OutputBuffer {
  public:
    using Unit = typename E::Unit;

    explicit OutputBuffer(UTextReceiver<E>* target) : m_target(target) {}

    // Room for one character.
    Unit* Room() {
        if (Capacity - m_count < Reserve) Flush();
        return m_units + m_count;
    }
    void Advance(std::size_t count) { m_count += count; }
    void Put(Unit unit) {
        *Room() = unit;
        Advance(1);
    }
    void Flush() {
        if (m_count == 0) return;
        m_target->Receive(m_units, m_units + m_count);
        m_count = 0;
    }

  private:
    UTextReceiver<E>* m_target;
    std::size_t m_count = 0;
    Unit m_units[Capacity];
};

using UTF16Output = OutputBuffer<UTF16, 2048, 2>;
using UTF8Output = OutputBuffer<UTF8, 4096, 4>;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The length of the UTF-8 sequence that `lead` starts, or 0 when no sequence starts with it. Lead
// bytes 0xF5 and above would encode values beyond U+10FFFF.
std::size_t SequenceLength(Byte lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC0) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF5) return 4;
    return 0;
}

// Whether `byte` may stand at `position` (1 to 3) of a sequence that begins with `lead`. The second
// byte also refuses encoded surrogates (0xED 0xA0-0xBF) and four-byte values outside
// U+10000-U+10FFFF (0xF0 0x80-0x8F, 0xF4 0x90-0xBF): their UTF-16 form would be garbage.
bool FitsSequence(Byte lead, std::size_t position, Byte byte) {
    if ((byte & 0xC0) != 0x80) return false;
    if (position != 1) return true;
    switch (lead) {
        case 0xED:
            return byte <= 0x9F;
        case 0xF0:
            return byte >= 0x90;
        case 0xF4:
            return byte <= 0x8F;
        default:
            return true;
    }
}

char32_t DecodeSequence(const Byte* bytes, std::size_t length) {
    switch (length) {
        case 2:
            return (char32_t(bytes[0] & 0x1F) << 6) | (bytes[1] & 0x3F);
        case 3:
            return (char32_t(bytes[0] & 0x0F) << 12) | (char32_t(bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F);
        case 4:
            return (char32_t(bytes[0] & 0x07) << 18) | (char32_t(bytes[1] & 0x3F) << 12) |
                   (char32_t(bytes[2] & 0x3F) << 6) | (bytes[3] & 0x3F);
        default:
            return bytes[0];
    }
}

void PutUTF16(UTF16Output& output, char32_t codePoint) {
    char16_t* room = output.Room();
    if (codePoint < 0x10000) {
        room[0] = static_cast<char16_t>(codePoint);
        output.Advance(1);
    } else {
        codePoint -= 0x10000;
        room[0] = static_cast<char16_t>(0xD800 | (codePoint >> 10));
        room[1] = static_cast<char16_t>(0xDC00 | (codePoint & 0x3FF));
        output.Advance(2);
    }
}

void PutUTF8(UTF8Output& output, char32_t codePoint) {
    output.Advance(EncodeUTF8(codePoint, output.Room()));
}

}  // namespace

std::size_t EncodeUTF8(char32_t codePoint, Byte* out) {
    if (codePoint < 0x80) {
        out[0] = static_cast<Byte>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<Byte>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<Byte>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<Byte>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<Byte>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<Byte>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<Byte>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<Byte>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<Byte>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<Byte>(0x80 | (codePoint & 0x3F));
    return 4;
}

template <class Target, class Source>
void GenericTranscoder<Target, Source>::Begin() {
    m_carriedCount = 0;
    m_target->Begin();
}

template <class Target, class Source>
void GenericTranscoder<Target, Source>::End() {
    if (m_carriedCount != 0) throw InvalidTextEncoding();
    m_target->End();
}

template class GenericTranscoder<UTF16, UTF8>;
template class GenericTranscoder<UTF8, UTF16>;
template class GenericTranscoder<UTF8, USAscii>;
template class GenericTranscoder<UTF16, USAscii>;
template class GenericTranscoder<UTF8, Latin1>;

void StreamTranscoder<UTF16, UTF8>::Receive(const Byte* begin, const Byte* end) {
    UTF16Output output(m_target);
    const Byte* next = begin;
    if (m_carriedCount != 0) {
        // Complete the sequence that the previous chunk cut off.
        std::size_t length = SequenceLength(m_carried[0]);
        for (; m_carriedCount < length && next != end; ++next) {
            if (!FitsSequence(m_carried[0], m_carriedCount, *next)) throw InvalidTextEncoding();
            m_carried[m_carriedCount++] = *next;
        }
        if (m_carriedCount < length) return;
        m_carriedCount = 0;
        PutUTF16(output, DecodeSequence(m_carried, length));
    }
    while (next != end) {
        Byte lead = *next;
        if (lead < 0x80) {
            output.Put(lead);
            ++next;
            continue;
        }
        std::size_t length = SequenceLength(lead);
        if (length == 0) throw InvalidTextEncoding();
        std::size_t available = std::min(length, static_cast<std::size_t>(end - next));
        for (std::size_t position = 1; position < available; ++position) {
            if (!FitsSequence(lead, position, next[position])) throw InvalidTextEncoding();
        }
        if (available < length) {
            std::copy(next, end, m_carried);
            m_carriedCount = static_cast<std::uint32_t>(available);
            break;
        }
        PutUTF16(output, DecodeSequence(next, length));
        next += length;
    }
    output.Flush();
}

void StreamTranscoder<UTF8, UTF16>::Receive(const char16_t* begin, const char16_t* end) {
    UTF8Output output(m_target);
    for (const char16_t* next = begin; next != end; ++next) {
        char32_t unit = *next;
        if (m_carriedCount != 0) {
            if (!IsLowSurrogate(unit)) throw InvalidTextEncoding();
            m_carriedCount = 0;
            PutUTF8(output, 0x10000 + ((char32_t(m_carried[0]) - 0xD800) << 10) + (unit - 0xDC00));
        } else if (IsHighSurrogate(unit)) {
            m_carried[0] = static_cast<char16_t>(unit);
            m_carriedCount = 1;
        } else if (IsLowSurrogate(unit)) {
            throw InvalidTextEncoding();
        } else {
            PutUTF8(output, unit);
        }
    }
    output.Flush();
}

void StreamTranscoder<UTF8, USAscii>::Receive(const Byte* begin, const Byte* end) {
    if (std::any_of(begin, end, [](Byte byte) { return byte >= 0x80; })) throw InvalidTextEncoding();
    if (begin != end) m_target->Receive(begin, end);
}

void StreamTranscoder<UTF16, USAscii>::Receive(const Byte* begin, const Byte* end) {
    UTF16Output output(m_target);
    for (const Byte* next = begin; next != end; ++next) {
        if (*next >= 0x80) throw InvalidTextEncoding();
        output.Put(*next);
    }
    output.Flush();
}

void StreamTranscoder<UTF8, Latin1>::Receive(const Byte* begin, const Byte* end) {
    UTF8Output output(m_target);
    for (const Byte* next = begin; next != end; ++next) PutUTF8(output, *next);
    output.Flush();
}

void StreamTranscoder<UTF8, IANANamedTextEncoding>::SetTarget(UTextReceiver<UTF8>* target) {
    m_fromUTF8.SetTarget(target);
    m_latin1Labeller.SetTarget(&m_fromLatin1);
    m_fromLatin1.SetTarget(target);
    m_asciiLabeller.SetTarget(&m_fromASCII);
    m_fromASCII.SetTarget(target);
}

void StreamTranscoder<UTF8, IANANamedTextEncoding>::Begin(const IANANamedTextEncoding& encoding) {
    m_path = nullptr;
    std::string name = CanonicalCharsetName(encoding.name.GetConstData());
    if (name == "utf-8") {
        m_path = &m_fromUTF8;
    } else if (name == "iso-8859-1") {
        m_path = &m_latin1Labeller;
    } else if (name == "us-ascii") {
        m_path = &m_asciiLabeller;
    } else {
        throw EncodingUnknownToSimpleIANATranscoder();
    }
    m_path->Begin();
}

void StreamTranscoder<UTF8, IANANamedTextEncoding>::Receive(const Byte* begin, const Byte* end) {
    ChosenPath().Receive(begin, end);
}

void StreamTranscoder<UTF8, IANANamedTextEncoding>::End() {
    ChosenPath().End();
}

DataReceiver& StreamTranscoder<UTF8, IANANamedTextEncoding>::ChosenPath() {
    if (!m_path) throw EncodingUnknownToSimpleIANATranscoder();
    return *m_path;
}
