// The constructed, indefinite-length string that carries the encrypted content of an envelope:
// context tag [0], constructed, length 80, then OCTET STRING chunks, then the end-of-contents
// octets 00 00.
//
// ASN1IndefiniteStringEncoder is a pipeline stage: it wraps whatever it receives into 1024-byte
// chunks (the last may be shorter) and passes the encoding on to the next receiver, so the content's
// total size need not be known in advance. ASN1IndefiniteStringDecoder is a reader over the source
// reader that gives back the content bytes of any mix of chunk sizes; an empty chunk is skipped.
//
// Both are reused for each envelope: Begin, resp. Start, resets them. Neither owns its neighbour.
// One thread at a time.
#pragma once

#include <array>
#include <cstdint>

#include "base/data_pipeline.h"

class ASN1IndefiniteStringEncoder : public DataReceiver, public DataWriter {
  public:
    static constexpr std::size_t kChunkLength = 1024;

    explicit ASN1IndefiniteStringEncoder(DataReceiver& next) : m_next(next) {}

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    void FlushChunk();

    DataReceiver& m_next;
    std::array<Byte, kChunkLength> m_buffer;
    std::size_t m_buffered = 0;
};

// Malformed framing throws FormatError, bad chunk length octets ASN1Decode_Failed, data that ends
// early NoMoreData.
class ASN1IndefiniteStringDecoder : public DataReader {
  public:
    // Reads the framing A0 80 and the first chunk header from the source.
    void Start(DataReader& source);

    // True once the end-of-contents octets have been read (and before Start).
    bool AtEnd() override { return m_bytesLeft == 0; }
    void ReadSome(OutputRange& range) override;

  private:
    // Reads chunk headers until a chunk with content or the end of contents.
    void NextChunk();

    std::uint32_t m_bytesLeft = 0;
    DataReader* m_source = nullptr;
};
