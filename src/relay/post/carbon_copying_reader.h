// CarbonCopyingReader: a DataReader that passes on what it reads from its source and hands every
// byte read, in order, to a copy receiver too, so that a posted body is kept exactly as it came
// while it is being taken apart. The caller begins and ends the copy; neither neighbour is owned.
// One thread at a time.
#pragma once

#include "base/data_pipeline.h"

class CarbonCopyingReader : public DataReader {
  public:
    CarbonCopyingReader(DataReader& source, DataReceiver& copy) : m_source(source), m_copy(copy) {}

    bool AtEnd() override { return m_source.AtEnd(); }
    void ReadSome(OutputRange& range) override;

  private:
    DataReader& m_source;
    DataReceiver& m_copy;
};
