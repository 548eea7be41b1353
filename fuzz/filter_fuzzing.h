// Shared by the codec fuzz targets: runs a DataFilter over input cut into pieces of a given size with
// output ranges of a given size, so that a target can compare a piecewise run with a one-shot run.
#pragma once

#include <cstdlib>
#include <string>

#include "base/data_pipeline.h"
#include "foundation/endian.h"

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// Feeds the input in pieces of `piece` bytes through outputs of `room` bytes, then drains the filter
// with Finish. Aborts when a call makes no progress.
inline std::string RunFilterInPieces(DataFilter& filter, ConstData input, std::size_t piece,
                                     std::size_t room) {
    std::string output;
    std::string buffer(room, '\0');
    while (!input.IsEmpty()) {
        std::size_t length = input.Length() < piece ? input.Length() : piece;
        ConstData chunk(input.begin, input.begin + length);
        input.begin += length;
        while (!chunk.IsEmpty()) {
            OutputRange free(buffer.data(), buffer.size());
            const Byte* before = chunk.begin;
            filter.Filter(chunk, free);
            Check(chunk.begin != before || free.begin != reinterpret_cast<Byte*>(buffer.data()));
            output.append(buffer.data(), reinterpret_cast<char*>(free.begin));
        }
    }
    while (!filter.IsComplete()) {
        OutputRange free(buffer.data(), buffer.size());
        try {
            filter.Finish(free);
        } catch (const DataOverflow&) {
        }
        Check(free.begin != reinterpret_cast<Byte*>(buffer.data()) || filter.IsComplete());
        output.append(buffer.data(), reinterpret_cast<char*>(free.begin));
    }
    return output;
}

// The piece and output sizes a fuzz input asks for (its first two bytes), and the rest of it.
struct FuzzShape {
    std::size_t piece;
    std::size_t room;
    ConstData input;
};

inline FuzzShape ShapeOf(const uint8_t* data, size_t size) {
    if (size < 2) return {1, 1, ConstData(data, size)};
    return {static_cast<std::size_t>(data[0] % 17) + 1, static_cast<std::size_t>(data[1] % 7) + 1,
            ConstData(data + 2, size - 2)};
}
