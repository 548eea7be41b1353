// ConstDataReader: a DataReader over a byte range held in memory, for handing a buffer to code that
// pulls its input (parsers, signature checks).
//
// The reader does not own the bytes: they must outlive it. One thread at a time.
#pragma once

#include "base/data_pipeline.h"

class ConstDataReader : public DataReader {
  public:
    explicit ConstDataReader(ConstData data) : m_rest(data) {}

    bool AtEnd() override { return m_rest.IsEmpty(); }
    // Copies exactly the range's length; when fewer bytes remain, throws NoMoreData and reads nothing.
    void ReadInto(Byte* begin, Byte* end) override;
    // Copies as many bytes as remain and fit.
    void ReadSome(OutputRange& range) override;

  private:
    ConstData m_rest;
};
