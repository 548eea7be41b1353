#include "foundation/segmented_array.h"

#include <bit>

unsigned HighestZeroBit(std::uint32_t x) {
    if (x == 0xFFFFFFFFu) return 32;
    return 31 - static_cast<unsigned>(std::countl_one(x));
}

namespace {
// The position of the highest set bit of a non-zero value.
unsigned HighestSetBit(std::uint64_t x) {
    return 63 - static_cast<unsigned>(std::countl_zero(x));
}
}  // namespace

SegmentedArray::SegmentedArray(std::uint32_t elementSize, Byte* firstBlockBegin, Byte* firstBlockEnd)
    : m_elementSize(elementSize),
      m_firstBlockBytes(static_cast<std::uint32_t>(firstBlockEnd - firstBlockBegin)),
      m_firstBlock(firstBlockBegin) {
    KVR_REQUIRE(elementSize != 0 && m_firstBlockBytes != 0 && m_firstBlockBytes % elementSize == 0);
}

// Block k covers the offsets [f * (2^k - 1), f * (2^(k+1) - 1)), so the block of an offset is the
// highest set bit of offset / f + 1.
std::uint32_t SegmentedArray::BlockOfOffset(std::uint64_t offset) const {
    return HighestSetBit(offset / m_firstBlockBytes + 1);
}

Byte* SegmentedArray::At(std::uint32_t index) const {
    std::uint64_t offset = std::uint64_t{index} * m_elementSize;
    std::uint32_t block = BlockOfOffset(offset);
    Byte* base = block == 0 ? m_firstBlock : m_blocks[block].get();
    return base + (offset - BlockStart(block));
}

Byte* SegmentedArray::AllocateNext() {
    std::uint64_t offset = std::uint64_t{m_count} * m_elementSize;
    std::uint32_t block = BlockOfOffset(offset);
    if (block >= kMaximumBlocks || m_count == 0xFFFFFFFFu) throw SegmentedArrayFull();
    if (block != 0 && !m_blocks[block])
        m_blocks[block] = std::make_unique_for_overwrite<Byte[]>(std::uint64_t{m_firstBlockBytes} << block);
    ++m_count;
    return At(m_count - 1);
}

// The block that would hold twice the remaining bytes is the last one kept: alternating adds and
// removes at a block boundary then do not allocate and free a block each time.
void SegmentedArray::Shrink(std::uint32_t n) {
    KVR_REQUIRE(n <= m_count);
    m_count -= n;
    std::uint32_t keep = HighestSetBit(2 * std::uint64_t{m_count} * m_elementSize / m_firstBlockBytes + 1);
    for (std::uint32_t block = keep + 1; block < kMaximumBlocks && m_blocks[block]; ++block)
        m_blocks[block].reset();
}

void SegmentedArray::ClearAndFree() {
    Shrink(m_count);
    for (auto& block : m_blocks) block.reset();
}

std::size_t SegmentedArray::BlockCount() const {
    std::size_t count = 1;
    while (count < kMaximumBlocks && m_blocks[count]) ++count;
    return count;
}
