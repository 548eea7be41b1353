// Fixed lists of byte ranges, for building paths, header lines and texts from pieces without
// intermediate strings. The ranges are not owned: the bytes must outlive the list.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "base/const_data.h"

template <std::size_t N>
class DataRangeList {
  public:
    explicit DataRangeList(ConstData range) requires(N == 1) : m_ranges{range} {}
    // The ranges of a shorter list, in order, and one more range last.
    DataRangeList(const DataRangeList<N - 1>& earlier, ConstData last) requires(N > 1) {
        for (std::size_t i = 0; i + 1 < N; ++i) m_ranges[i] = earlier.Ranges()[i];
        m_ranges[N - 1] = last;
    }

    std::span<const ConstData, N> Ranges() const { return m_ranges; }

  private:
    std::array<ConstData, N> m_ranges;
};

std::size_t TotalDataRangeLength(std::span<const ConstData> ranges);

// Copies range after range into the output, each cut to the room left, and returns what is left of
// the output (its filled end, its end). The output itself does not move.
OutputRange CopyDataRanges(OutputRange output, std::span<const ConstData> ranges);

// The ranges joined into a new vector of exactly the total length.
std::vector<Byte> JoinDataRanges(std::span<const ConstData> ranges);

// The ranges joined into one string.
std::string JoinDataRangesToString(std::span<const ConstData> ranges);

// The concatenation lists through which callers join a handful of text pieces into one string.
using FormatArgs4 = DataRangeList<4>;
using FormatArgs5 = DataRangeList<5>;
using FormatArgs6 = DataRangeList<6>;
using FormatArgs7 = DataRangeList<7>;
