// Hexadecimal text as a DataFilter pair, and one-shot helpers over a byte range.
//
// HexEncoder writes two lower-case digits per byte. HexDecoder reads digits of either case and skips
// every other byte wherever it stands (also between the two digits of one byte), so "0a:1b" and
// "0a1b" both give 0x0A 0x1B; an odd trailing digit is dropped without error. Both may be fed and
// drained in pieces of any size, down to a one-byte output. Each object serves one stream at a time;
// Finish returns it to its initial state.
#pragma once

#include <string>

#include "base/data_pipeline.h"

class HexEncoder : public DataFilter {
  public:
    void Filter(ConstData& input, OutputRange& output) override;
    // False while the second digit of a byte is held back for want of output room.
    bool IsComplete() override { return m_pending == 0; }
    // Writes the held digit; DataOverflow when the output is full.
    void Finish(OutputRange& output) override;

  private:
    Byte m_pending = 0;
};

class HexDecoder : public DataFilter {
  public:
    void Filter(ConstData& input, OutputRange& output) override;
    // A held first digit produces nothing on its own: the decoder always counts as complete.
    bool IsComplete() override { return true; }
    // Drops a held odd digit.
    void Finish(OutputRange& output) override { m_pendingDigit = 0; }

  private:
    Byte m_pendingDigit = 0;
};

std::string HexEncodeText(ConstData data);
std::string HexDecodeText(ConstData text);
