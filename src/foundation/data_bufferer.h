// Gathers small chunks into whole buffers before passing them on, so that a target that is costly
// per call (a file write, a socket send) sees few large chunks.
//
// The target receives only full buffers until End, which passes what is left (possibly nothing) and
// then ends the target. DataBuffererBase works over a buffer that the caller supplies and keeps
// alive; DataBufferer<N> owns an inline buffer of N bytes. Neither owns the target.
#pragma once

#include <cstddef>

#include "base/data_pipeline.h"

class DataBuffererBase : public DataReceiver, public DataWriter {
  public:
    DataBuffererBase(Byte* bufferBegin, Byte* bufferEnd)
        : m_bufferBegin(bufferBegin), m_bufferEnd(bufferEnd), m_position(bufferBegin) {}
    DataBuffererBase(const DataBuffererBase&) = delete;
    DataBuffererBase& operator=(const DataBuffererBase&) = delete;

    // Sets the target and empties the buffer.
    void SetUp(DataReceiver& target);

    // Begin does not empty the buffer: SetUp and End do.
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    // Passes the buffered bytes on (also when there are none), empties the buffer, ends the target.
    void End() override;

  private:
    DataReceiver* m_target = nullptr;
    Byte* m_bufferBegin;
    Byte* m_bufferEnd;
    Byte* m_position;
};

template <std::size_t N>
class DataBufferer : public DataBuffererBase {
  public:
    DataBufferer() : DataBuffererBase(m_buffer, m_buffer + N) {}
    explicit DataBufferer(DataReceiver& target) : DataBufferer() { SetUp(target); }

  private:
    Byte m_buffer[N];
};
