// QDecodingDataMaker: decodes the "Q" encoding of RFC 2047 encoded words (and of file-list display
// names) from a pushed stream into a target: "_" becomes a blank, "=" and two hex digits of either
// case become that byte, and everything else passes unchanged, an "=" not followed by two hex
// digits included. An escape cut off at the end of a chunk is held until the next one; End passes
// on whatever is still held.
//
// The target is not owned and is set before Begin. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class QDecodingDataMaker : public DataReceiver, public DataWriter {
  public:
    QDecodingDataMaker() = default;
    explicit QDecodingDataMaker(DataReceiver& target) : m_target(&target) {}

    QDecodingDataMaker& SetTarget(DataReceiver& target) {
        m_target = &target;
        return *this;
    }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override;

  private:
    DataReceiver* m_target = nullptr;
    // "=" or "=" and one hex digit, cut off at the end of a chunk.
    Byte m_held[2] = {};
    std::uint8_t m_heldLength = 0;
};
