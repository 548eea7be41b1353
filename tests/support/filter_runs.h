// Drives a DataFilter the way its users do, for checking that a codec gives the same output however
// its input is cut and however small its output range is.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/data_pipeline.h"

// Feeds the chunks in order, each through output ranges of `room` bytes until it is consumed, then
// drains the filter with Finish (resuming after DataOverflow) until it is complete. Fails the test
// when a call makes no progress.
std::string RunFilter(DataFilter& filter, const std::vector<std::string>& chunks, std::size_t room);

// The input cut in two at `position`.
std::vector<std::string> SplitAt(const std::string& input, std::size_t position);
// The input one byte per chunk.
std::vector<std::string> SplitIntoBytes(const std::string& input);

// Checks that a fresh filter gives `expected` for the input whole, cut in two at every position, and
// fed one byte at a time into one-byte output ranges.
void ExpectSameOutputHoweverFed(const std::function<std::unique_ptr<DataFilter>()>& makeFilter,
                                const std::string& input, const std::string& expected);
