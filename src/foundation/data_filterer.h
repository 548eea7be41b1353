// Runs a DataFilter over a pushed stream: each chunk is filtered through a small stack buffer and
// what the filter produces is passed to the target; End drains the filter's pending output and ends
// the target. Neither the filter nor the target is owned.
//
// A filter that neither consumes input nor produces output while it has input left, or that stays
// incomplete without producing anything in Finish, would stall the stream for ever; DataFilterer
// throws DataFilterStalled instead (hostile input can drive a filter into that state, for example
// trailing bytes after the end of a compressed stream).
#pragma once

#include "base/data_pipeline.h"

class DataFilterStalled : public DebuggableException {};

class DataFilterer : public DataReceiver, public DataWriter {
  public:
    DataFilterer() = default;
    DataFilterer(DataFilter& filter, DataReceiver& target) : m_target(&target), m_filter(&filter) {}

    void SetUp(DataFilter& filter, DataReceiver& target) {
        m_filter = &filter;
        m_target = &target;
    }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  private:
    DataReceiver* m_target = nullptr;
    DataFilter* m_filter = nullptr;
};

// Filters one range into a target as a whole stream: Begin, one Receive, End.
void FilterRangeInto(DataReceiver& target, ConstData data, DataFilter& filter);
