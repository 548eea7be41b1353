#include "support/filter_runs.h"

#include <gtest/gtest.h>

#include "foundation/endian.h"

std::string RunFilter(DataFilter& filter, const std::vector<std::string>& chunks, std::size_t room) {
    std::string output;
    std::vector<Byte> buffer(room);
    for (const std::string& chunk : chunks) {
        ConstData input(chunk.data(), chunk.size());
        while (!input.IsEmpty()) {
            OutputRange free(buffer.data(), buffer.size());
            const Byte* before = input.begin;
            filter.Filter(input, free);
            if (input.begin == before && free.begin == buffer.data()) {
                ADD_FAILURE() << "Filter made no progress";
                return output;
            }
            output.append(buffer.data(), free.begin);
        }
    }
    while (!filter.IsComplete()) {
        OutputRange free(buffer.data(), buffer.size());
        try {
            filter.Finish(free);
        } catch (const DataOverflow&) {
        }
        if (free.begin == buffer.data() && !filter.IsComplete()) {
            ADD_FAILURE() << "Finish made no progress";
            return output;
        }
        output.append(buffer.data(), free.begin);
    }
    return output;
}

std::vector<std::string> SplitAt(const std::string& input, std::size_t position) {
    return {input.substr(0, position), input.substr(position)};
}

std::vector<std::string> SplitIntoBytes(const std::string& input) {
    std::vector<std::string> bytes;
    for (char c : input) bytes.emplace_back(1, c);
    return bytes;
}

void ExpectSameOutputHoweverFed(const std::function<std::unique_ptr<DataFilter>()>& makeFilter,
                                const std::string& input, const std::string& expected) {
    EXPECT_EQ(RunFilter(*makeFilter(), {input}, 1024), expected) << "whole";
    for (std::size_t position = 0; position <= input.size(); ++position)
        EXPECT_EQ(RunFilter(*makeFilter(), SplitAt(input, position), 1024), expected)
            << "cut at " << position;
    EXPECT_EQ(RunFilter(*makeFilter(), SplitIntoBytes(input), 1), expected)
        << "byte by byte, one-byte output";
    EXPECT_EQ(RunFilter(*makeFilter(), {input}, 1), expected) << "whole, one-byte output";
}
