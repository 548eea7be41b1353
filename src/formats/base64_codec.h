// Base64 (alphabet A-Z a-z 0-9 + /, "=" padding) as a DataFilter pair, a line stage that decodes
// Base64 lines into a byte stream, and one-shot helpers.
//
// Base64Encoder writes no line breaks; Finish pads the output to a multiple of four characters.
// Base64Decoder never fails: every byte outside the alphabet ("=", CR, LF, blanks, "-", "_" ...) is
// skipped, decoding continues across padding as if the characters were contiguous, and fewer than 8
// leftover bits are dropped. Both may be fed and drained in pieces of any size, down to a one-byte
// output.
//
// The encoder is back in its initial state after Finish. The decoder keeps leftover bits until Reset,
// so a bare decoder serves one stream; Base64DecodingDataMaker resets its decoder in Begin.
#pragma once

#include <cstdint>
#include <string>

#include "base/data_pipeline.h"

class Base64Encoder : public DataFilter {
  public:
    void Filter(ConstData& input, OutputRange& output) override;
    bool IsComplete() override { return m_bitCount == 0 && m_paddingDue == 0; }
    // Writes the held bits and the padding; DataOverflow when the output runs out, after which a
    // further Finish goes on where this one stopped.
    void Finish(OutputRange& output) override;

  private:
    std::uint32_t m_bits = 0;
    std::uint8_t m_bitCount = 0;
    std::uint8_t m_paddingDue = 0;
};

class Base64Decoder : public DataFilter {
  public:
    // Stops when the output becomes full, leaving the rest of the input. DataOverflow when called
    // with a full output and a byte to write.
    void Filter(ConstData& input, OutputRange& output) override;
    void Reset() {
        m_bits = 0;
        m_bitCount = 0;
    }

  private:
    std::uint32_t m_bits = 0;
    std::uint8_t m_bitCount = 0;
};

// Decodes the text of Base64 lines (a MIME body, a PEM block) into a DataReceiver; line ends carry
// no data. The target is not owned and is set before Begin.
class Base64DecodingDataMaker : public LineReceiver {
  public:
    void SetTarget(DataReceiver& target) { m_target = &target; }

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override {}
    void End(std::uint64_t total) override;

  private:
    Base64Decoder m_decoder;
    DataReceiver* m_target = nullptr;
};

std::string Base64EncodeText(ConstData data);
std::string Base64DecodeText(ConstData text);
