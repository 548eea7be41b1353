// SectionReader: a DataReader that serves at most a set number of bytes of another reader, so that
// one stretch of a stream (an archive member, a result section) can be handed to code that reads to
// the end. It ends early, without error, when the wrapped reader ends first: Remaining() then tells
// how much was missing.
//
// The wrapped reader is not owned. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"

class SectionReader : public DataReader {
  public:
    SectionReader(DataReader& reader, std::uint64_t length)
        : m_reader(&reader), m_length(length), m_remaining(length) {}

    bool AtEnd() override { return m_remaining == 0 || m_reader->AtEnd(); }
    // Reads from the wrapped reader into at most the remaining count of bytes of the range.
    void ReadSome(OutputRange& range) override;

    std::uint64_t Length() const { return m_length; }
    std::uint64_t Remaining() const { return m_remaining; }

  private:
    DataReader* m_reader;
    std::uint64_t m_length;
    std::uint64_t m_remaining;
};
