// PushBackDataReader: a DataReader over another one that can be given bytes back, to be read again
// before the wrapped reader's own. A format sniffer reads the first bytes of a stream, pushes them
// back, and hands the reader to whichever parser the bytes call for.
//
// The push-back buffer holds 1,024 bytes: pushing more than fits behind the bytes still buffered
// throws PushBackBufferOverflow and pushes nothing. The wrapped reader is not owned. One thread at a
// time.
#pragma once

#include <cstddef>

#include "base/data_pipeline.h"
#include "base/exceptions.h"

class PushBackBufferOverflow : public DebuggableException {};

class PushBackDataReader : public DataReader {
  public:
    explicit PushBackDataReader(DataReader& reader) : m_reader(&reader) {}
    PushBackDataReader(const PushBackDataReader&) = delete;
    PushBackDataReader& operator=(const PushBackDataReader&) = delete;

    // Appends the bytes behind those still buffered.
    void PushBack(ConstData bytes);

    bool AtEnd() override { return m_read == m_fill && m_reader->AtEnd(); }
    // Buffered bytes first; what the range still has room for then comes from the wrapped reader.
    void ReadSome(OutputRange& range) override;
    void ReadInto(Byte* begin, Byte* end) override;

  private:
    // Copies buffered bytes to the front of the range and advances it.
    void TakeBuffered(OutputRange& range);

    DataReader* m_reader;
    Byte m_buffer[1024];
    std::size_t m_read = 0;
    std::size_t m_fill = 0;
};
