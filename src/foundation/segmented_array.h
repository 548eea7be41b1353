// SegmentedArray: an array of fixed-size elements that grows by whole blocks and never moves an
// element, so an element's address stays valid until the element is removed.
//
// Block 0 is supplied by the owner and must outlive the array; block k >= 1 holds twice the bytes of
// block k - 1 and is allocated when first needed. The array holds raw storage: the owner constructs
// and destroys the objects it keeps in it. SegmentedVector<T> is such an owner: a typed array whose
// first block lies inside it. Not thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "base/const_data.h"
#include "base/exceptions.h"

// The array would need more than its 24 blocks.
class SegmentedArrayFull : public DebuggableException {};

class SegmentedArray {
  public:
    static constexpr std::size_t kMaximumBlocks = 24;

    // The size of the first block must be a non-zero multiple of the element size, so that no
    // element straddles two blocks.
    SegmentedArray(std::uint32_t elementSize, Byte* firstBlockBegin, Byte* firstBlockEnd);
    SegmentedArray(const SegmentedArray&) = delete;
    SegmentedArray& operator=(const SegmentedArray&) = delete;

    std::uint32_t Count() const { return m_count; }
    // The address of element `index` (< Count()).
    Byte* At(std::uint32_t index) const;
    // The storage for a new last element; allocates the next block when needed.
    Byte* AllocateNext();
    // Forgets the last n elements (n <= Count()) and frees the blocks no longer needed, keeping one
    // spare block beyond the last one in use.
    void Shrink(std::uint32_t n);
    void RemoveLast() { Shrink(1); }
    // Forgets every element and frees every allocated block.
    void ClearAndFree();
    // Blocks in place, block 0 included.
    std::size_t BlockCount() const;

  private:
    // The block holding the byte at `offset`, and where that block starts.
    std::uint32_t BlockOfOffset(std::uint64_t offset) const;
    std::uint64_t BlockStart(std::uint32_t block) const {
        return m_firstBlockBytes * ((std::uint64_t{1} << block) - 1);
    }

    std::uint32_t m_elementSize;
    std::uint32_t m_firstBlockBytes;
    std::uint32_t m_count = 0;
    Byte* m_firstBlock;
    std::array<std::unique_ptr<Byte[]>, kMaximumBlocks> m_blocks;
};

// The position (0-31) of the highest zero bit of x; 32 when every bit is one.
unsigned HighestZeroBit(std::uint32_t x);

// A growing list of T whose elements never move: the SegmentedArray of its first `FirstBlockCount`
// elements inside the object, later blocks on the heap. Not copyable or movable, since its elements'
// addresses are handed out.
template <class T, std::uint32_t FirstBlockCount = 64>
class SegmentedVector {
  public:
    SegmentedVector() = default;
    SegmentedVector(const SegmentedVector&) = delete;
    SegmentedVector& operator=(const SegmentedVector&) = delete;
    ~SegmentedVector() { Clear(); }

    std::uint32_t Count() const { return m_array.Count(); }
    T& operator[](std::uint32_t index) { return *std::launder(reinterpret_cast<T*>(m_array.At(index))); }
    const T& operator[](std::uint32_t index) const {
        return *std::launder(reinterpret_cast<const T*>(m_array.At(index)));
    }

    // Moves the value in as the new last element; SegmentedArrayFull when there is no room.
    T& Append(T value) {
        Byte* storage = m_array.AllocateNext();
        try {
            return *new (storage) T(std::move(value));
        } catch (...) {
            m_array.RemoveLast();
            throw;
        }
    }
    // Destroys every element and frees the heap blocks.
    void Clear() {
        for (std::uint32_t i = 0; i < Count(); ++i) (*this)[i].~T();
        m_array.ClearAndFree();
    }

  private:
    alignas(T) Byte m_firstBlock[sizeof(T) * FirstBlockCount];
    SegmentedArray m_array{sizeof(T), m_firstBlock, m_firstBlock + sizeof(m_firstBlock)};
};
