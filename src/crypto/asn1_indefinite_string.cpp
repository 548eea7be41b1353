#include "crypto/asn1_indefinite_string.h"

#include <algorithm>

#include "crypto/asn1_elements.h"

namespace {

constexpr Byte kContextZeroConstructed = 0xA0;
constexpr Byte kIndefiniteLength = 0x80;
constexpr Byte kOctetStringTag = 0x04;
constexpr Byte kEndOfContents = 0x00;

// The DER length octets of a chunk: short form below 128, else 81..84 and the big-endian value.
std::size_t EncodeLength(std::size_t length, Byte* out) {
    if (length < 0x80) {
        out[0] = static_cast<Byte>(length);
        return 1;
    }
    std::size_t octets = 1;
    while (octets < 4 && (length >> (8 * octets)) != 0) ++octets;
    out[0] = static_cast<Byte>(0x80 | octets);
    for (std::size_t i = 0; i < octets; ++i) out[1 + i] = static_cast<Byte>(length >> (8 * (octets - 1 - i)));
    return 1 + octets;
}

}  // namespace

void ASN1IndefiniteStringEncoder::Begin() {
    m_buffered = 0;
    m_next.Begin();
    const Byte framing[] = {kContextZeroConstructed, kIndefiniteLength};
    m_next.Receive(framing, framing + sizeof framing);
}

void ASN1IndefiniteStringEncoder::Receive(const Byte* begin, const Byte* end) {
    while (begin != end) {
        std::size_t taken = std::min<std::size_t>(end - begin, kChunkLength - m_buffered);
        std::copy(begin, begin + taken, m_buffer.data() + m_buffered);
        m_buffered += taken;
        begin += taken;
        if (m_buffered == kChunkLength) FlushChunk();
    }
}

void ASN1IndefiniteStringEncoder::End() {
    FlushChunk();
    const Byte endOfContents[] = {kEndOfContents, kEndOfContents};
    m_next.Receive(endOfContents, endOfContents + sizeof endOfContents);
    m_next.End();
}

void ASN1IndefiniteStringEncoder::FlushChunk() {
    if (m_buffered == 0) return;
    Byte header[6] = {kOctetStringTag};
    std::size_t headerLength = 1 + EncodeLength(m_buffered, header + 1);
    m_next.Receive(header, header + headerLength);
    m_next.Receive(m_buffer.data(), m_buffer.data() + m_buffered);
    m_buffered = 0;
}

void ASN1IndefiniteStringDecoder::Start(DataReader& source) {
    m_source = &source;
    m_bytesLeft = 0;
    ExpectByte(source, kContextZeroConstructed);
    ExpectByte(source, kIndefiniteLength);
    NextChunk();
}

void ASN1IndefiniteStringDecoder::NextChunk() {
    // An empty chunk (04 00) is valid BER and carries nothing: it is skipped, not taken as the end.
    while (m_bytesLeft == 0) {
        Byte tag = 0;
        m_source->ReadInto(&tag, &tag + 1);
        if (tag == kOctetStringTag) {
            m_bytesLeft = ReadASN1LengthOnly(*m_source);
        } else if (tag == kEndOfContents) {
            ExpectByte(*m_source, kEndOfContents);
            return;
        } else {
            throw FormatError();
        }
    }
}

void ASN1IndefiniteStringDecoder::ReadSome(OutputRange& range) {
    if (m_bytesLeft == 0) return;
    std::size_t count = std::min<std::size_t>(m_bytesLeft, range.Room());
    m_source->ReadInto(range.begin, range.begin + count);
    range.begin += count;
    m_bytesLeft -= static_cast<std::uint32_t>(count);
    if (m_bytesLeft == 0) NextChunk();
}
