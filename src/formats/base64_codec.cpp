#include "formats/base64_codec.h"

#include <array>

#include "foundation/endian.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr Byte kNotInAlphabet = 0xFF;

constexpr std::array<Byte, 256> MakeDecodingTable() {
    std::array<Byte, 256> table{};
    table.fill(kNotInAlphabet);
    for (Byte value = 0; value < 64; ++value) table[static_cast<Byte>(kAlphabet[value])] = value;
    return table;
}

constexpr std::array<Byte, 256> kDecodingTable = MakeDecodingTable();

constexpr std::size_t kLineDecodingBufferBytes = 80;

}  // namespace

void Base64Encoder::Filter(ConstData& input, OutputRange& output) {
    for (;;) {
        while (m_bitCount >= 6) {
            if (output.IsFull()) return;
            m_bitCount -= 6;
            *output.begin++ = static_cast<Byte>(kAlphabet[(m_bits >> m_bitCount) & 0x3F]);
        }
        if (input.IsEmpty() || output.IsFull()) return;
        m_bits = (m_bits << 8) | *input.begin++;
        m_bitCount += 8;
    }
}

// A Filter that ran out of output room right after taking a byte leaves 6 bits held: one whole
// character. Then come the last 2 or 4 bits, zero-filled, and the padding. Each character is written
// before the state moves past it, so DataOverflow loses nothing and a further Finish resumes.
void Base64Encoder::Finish(OutputRange& output) {
    if (m_bitCount >= 6) {
        ThrowIfFull(output, static_cast<Byte>(kAlphabet[(m_bits >> (m_bitCount - 6)) & 0x3F]));
        m_bitCount -= 6;
    }
    if (m_bitCount != 0) {
        ThrowIfFull(output, static_cast<Byte>(kAlphabet[(m_bits << (6 - m_bitCount)) & 0x3F]));
        m_paddingDue = m_bitCount == 2 ? 2 : 1;
        m_bitCount = 0;
    }
    while (m_paddingDue != 0) {
        ThrowIfFull(output, '=');
        --m_paddingDue;
    }
    m_bits = 0;
}

void Base64Decoder::Filter(ConstData& input, OutputRange& output) {
    while (!input.IsEmpty()) {
        Byte value = kDecodingTable[*input.begin];
        if (value == kNotInAlphabet) {
            ++input.begin;
            continue;
        }
        // Refuse before consuming, so that the character is still there for a retry.
        if (m_bitCount >= 2 && output.IsFull()) throw DataOverflow();
        ++input.begin;
        m_bits = (m_bits << 6) | value;
        m_bitCount += 6;
        if (m_bitCount >= 8) {
            m_bitCount -= 8;
            *output.begin++ = static_cast<Byte>(m_bits >> m_bitCount);
            if (output.IsFull()) return;
        }
    }
}

void Base64DecodingDataMaker::Begin(std::uint64_t) {
    m_decoder.Reset();
    m_target->Begin();
}

void Base64DecodingDataMaker::ReceiveText(const Byte* begin, const Byte* end) {
    ConstData text(begin, end);
    do {
        Byte buffer[kLineDecodingBufferBytes];
        OutputRange output(buffer, sizeof buffer);
        m_decoder.Filter(text, output);
        m_target->Receive(buffer, output.begin);
    } while (!text.IsEmpty());
}

void Base64DecodingDataMaker::End(std::uint64_t) {
    m_target->End();
}

std::string Base64EncodeText(ConstData data) {
    std::string text((data.Length() + 2) / 3 * 4, '\0');
    OutputRange output(text.data(), text.size());
    Base64Encoder encoder;
    encoder.Filter(data, output);
    encoder.Finish(output);
    return text;
}

std::string Base64DecodeText(ConstData text) {
    // Four characters give at most three bytes, so the output never needs more room than this.
    std::string bytes(text.Length() / 4 * 3 + 3, '\0');
    OutputRange output(bytes.data(), bytes.size());
    Base64Decoder().Filter(text, output);
    bytes.resize(static_cast<std::size_t>(output.begin - reinterpret_cast<Byte*>(bytes.data())));
    return bytes;
}
