#include "foundation/data_ranges.h"

#include "base/data_pipeline.h"

std::size_t TotalDataRangeLength(std::span<const ConstData> ranges) {
    std::size_t total = 0;
    for (ConstData range : ranges) total += range.Length();
    return total;
}

OutputRange CopyDataRanges(OutputRange output, std::span<const ConstData> ranges) {
    for (ConstData range : ranges) CopyDataIntoRange(output, range);
    return output;
}

std::vector<Byte> JoinDataRanges(std::span<const ConstData> ranges) {
    std::vector<Byte> joined(TotalDataRangeLength(ranges));
    CopyDataRanges(OutputRange(joined.data(), joined.size()), ranges);
    return joined;
}

std::string JoinDataRangesToString(std::span<const ConstData> ranges) {
    std::string joined(TotalDataRangeLength(ranges), '\0');
    CopyDataRanges(OutputRange(joined.data(), joined.size()), ranges);
    return joined;
}
