// Test helpers for stages that take their input in chunks: a text receiver that records what reaches
// it, and running a stage over its input whole, one unit at a time and cut at every split point.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "formats/text_encodings.h"

template <class E>
class RecordingTextReceiver : public UTextReceiver<E> {
  public:
    using Unit = typename E::Unit;

    void Begin() override {
        ++begins;
        units.clear();
    }
    void Receive(const Unit* begin, const Unit* end) override { units.insert(units.end(), begin, end); }
    void End() override { ++ends; }

    std::vector<Unit> units;
    int begins = 0;
    int ends = 0;
};

// What came out of one run: what the stage produced (units, events) and whether its target was ended,
// or the text of the exception.
template <class Item>
struct ChunkedOutcome {
    std::vector<Item> output;
    bool ended = false;
    std::string error;

    bool operator==(const ChunkedOutcome&) const = default;
};

// The ways to cut an input of `length` units into chunks: whole, one unit per chunk, and two chunks
// at every split point. Each is a list of chunk ends.
inline std::vector<std::vector<std::size_t>> AllCuttings(std::size_t length) {
    std::vector<std::vector<std::size_t>> cuttings{{length}};
    std::vector<std::size_t> single;
    for (std::size_t end = 1; end <= length; ++end) single.push_back(end);
    cuttings.push_back(single);
    for (std::size_t split = 0; split <= length; ++split) cuttings.push_back({split, length});
    return cuttings;
}

// Runs `run` over every cutting of an input of `length` units and expects the same outcome each
// time; for a failure only the exception must agree, since output pushed before it may differ.
template <class Item>
ChunkedOutcome<Item> ExpectSameOutcomeForAllCuttings(
    std::size_t length, const std::function<ChunkedOutcome<Item>(const std::vector<std::size_t>&)>& run) {
    auto cuttings = AllCuttings(length);
    ChunkedOutcome<Item> whole = run(cuttings.front());
    for (const auto& cutting : cuttings) {
        ChunkedOutcome<Item> outcome = run(cutting);
        if (!whole.error.empty()) {
            EXPECT_EQ(outcome.error, whole.error) << "chunks: " << cutting.size();
        } else {
            EXPECT_EQ(outcome, whole) << "chunks: " << cutting.size();
        }
    }
    return whole;
}
