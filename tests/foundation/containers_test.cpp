#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundation/counted_ptr.h"
#include "foundation/duplicating_ptr.h"
#include "foundation/list_pl.h"
#include "foundation/optional_value.h"
#include "foundation/segmented_array.h"

TEST(ListPL, WalksWithItsCursorAndClears) {
    ListPL<Pair<std::string, std::string>> list;
    list.Rewind();
    EXPECT_FALSE(list.HasMore());
    EXPECT_THROW(list.Next(), NoMoreItemsException);

    Pair<std::string, std::string>* first = list.Append({"a", "1"});
    list.Add({"b", "2"});
    list.Rewind();
    EXPECT_EQ(list.Next().first, "a");
    list.Add({"c", "3"});  // appending during a walk neither moves values nor disturbs the walk
    EXPECT_EQ(first->second, "1");
    EXPECT_EQ(list.Next().first, "b");
    EXPECT_EQ(list.Next().first, "c");
    EXPECT_FALSE(list.HasMore());
    try {
        list.Next();
        FAIL();
    } catch (const NoMoreItemsException& e) {
        EXPECT_STREQ(e.what(), "A ListPL iterator walked off the end of the list.");
    }

    ListPL<Pair<std::string, std::string>> copy = list;
    EXPECT_EQ(copy.Count(), 3u);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_FALSE(list.HasMore());
    list.Rewind();
    EXPECT_FALSE(list.HasMore());
    copy.Rewind();
    EXPECT_EQ(copy.Next().second, "1");
}

TEST(OptionalText, NullCStringIsAbsent) {
    OptionalText absent(static_cast<const char*>(nullptr));
    EXPECT_FALSE(absent.present);
    EXPECT_TRUE(absent.text.IsEmpty());
    OptionalText empty("");
    EXPECT_TRUE(empty.present);
    OptionalText text("abc");
    EXPECT_EQ(text.text.View(), "abc");
}

TEST(DuplicatingPtr, CopiesDuplicateThePointee) {
    DuplicatingPtr<std::string> a(std::make_unique<std::string>("x"));
    DuplicatingPtr<std::string> b = a;
    *b += "y";
    EXPECT_EQ(*a, "x");
    EXPECT_EQ(*b, "xy");
    b = DuplicatingPtr<std::string>();
    EXPECT_FALSE(b);
    a = a;
    EXPECT_EQ(*a, "x");
}

TEST(SharedCount, FreesOnTheLastRelease) {
    SharedCount a;
    EXPECT_TRUE(a.IsUnique());
    SharedCount b(a);
    SharedCount c(a);
    EXPECT_FALSE(a.IsUnique());
    EXPECT_FALSE(b.Release());
    EXPECT_FALSE(c.Release());
    EXPECT_TRUE(a.IsUnique());
    EXPECT_TRUE(a.Release());   // the third release frees the count
    EXPECT_FALSE(a.Release());  // an empty handle has nothing to release
}

namespace {
struct Tracked {
    explicit Tracked(std::atomic<int>& deletions) : deletions(deletions) {}
    virtual ~Tracked() { ++deletions; }
    std::atomic<int>& deletions;
};
}  // namespace

TEST(CountedPtr, DeletesOnceWhenTheLastHolderGoes) {
    std::atomic<int> deletions = 0;
    {
        CountedPtr<Tracked> a(std::make_unique<Tracked>(deletions));
        CountedPtr<Tracked> b = a;
        EXPECT_FALSE(a.IsUnique());
        b = CountedPtr<Tracked>();
        EXPECT_TRUE(a.IsUnique());
        EXPECT_EQ(deletions, 0);
    }
    EXPECT_EQ(deletions, 1);
}

TEST(CountedPtr, ConcurrentLastReleasesDeleteExactlyOnce) {
    std::atomic<int> deletions = 0;
    constexpr int kRounds = 500;
    for (int round = 0; round < kRounds; ++round) {
        auto a = std::make_unique<CountedPtr<Tracked>>(std::make_unique<Tracked>(deletions));
        auto b = std::make_unique<CountedPtr<Tracked>>(*a);
        std::atomic<bool> go = false;
        std::thread other([&] {
            while (!go) {
            }
            b.reset();
        });
        go = true;
        a.reset();
        other.join();
    }
    EXPECT_EQ(deletions, kRounds);
}

TEST(CountedBuffer, SharesBytesUntilTheLastHolder) {
    CountedBuffer buffer(std::make_unique<std::vector<Byte>>(3, Byte{7}));
    CountedBuffer copy = buffer;
    (*copy)[0] = 1;
    EXPECT_EQ((*buffer)[0], 1);
}

TEST(HighestZeroBit, Table) {
    const std::pair<std::uint32_t, unsigned> cases[] = {
        {0xFFFFFFFFu, 32}, {0x7FFFFFFFu, 31}, {0xFFFFFFFEu, 0}, {0u, 31}, {0xFFFF00FFu, 15}};
    for (auto [x, bit] : cases) EXPECT_EQ(HighestZeroBit(x), bit) << std::hex << x;
}

TEST(SegmentedArray, GrowsByDoublingBlocksWithoutMovingElements) {
    alignas(16) Byte first[64];
    SegmentedArray array(16, first, first + sizeof first);
    // Element index -> block: 0-3 in block 0, 4-11 in block 1 (128 bytes), 12-27 in block 2 (256).
    struct Step {
        std::uint32_t count;  // elements after allocating
        std::size_t blocks;
    };
    const Step growth[] = {{1, 1}, {4, 1}, {5, 2}, {12, 2}, {13, 3}, {28, 3}, {29, 4}};
    std::vector<Byte*> addresses;
    std::size_t step = 0;
    while (step < std::size(growth)) {
        Byte* element = array.AllocateNext();
        element[0] = static_cast<Byte>(addresses.size());
        addresses.push_back(element);
        if (array.Count() == growth[step].count) {
            EXPECT_EQ(array.BlockCount(), growth[step].blocks) << "count " << array.Count();
            ++step;
        }
    }
    EXPECT_EQ(addresses[3], first + 48);
    EXPECT_EQ(addresses[5], addresses[4] + 16);
    for (std::uint32_t i = 0; i < array.Count(); ++i) {
        EXPECT_EQ(array.At(i), addresses[i]);
        EXPECT_EQ(array.At(i)[0], i);
    }
}

TEST(SegmentedArray, ShrinkKeepsOneSpareBlock) {
    struct Case {
        std::uint32_t grow;
        std::uint32_t shrinkBy;
        std::size_t blocksBefore;
        std::size_t blocksAfter;
    };
    const Case cases[] = {
        {13, 10, 3, 2},  // 3 left: blocks 0 and 1 kept, block 2 freed
        {13, 1, 3, 3},   // 12 left: twice that needs block 2
        {13, 13, 3, 1},  // none left: only the owner's block
        {29, 27, 4, 2},  // 2 left: block 1 is the spare
        {29, 20, 4, 3},  // 9 left: 18 elements' worth reaches block 2
        {5, 0, 2, 2},
    };
    for (const Case& c : cases) {
        alignas(16) Byte first[64];
        SegmentedArray array(16, first, first + sizeof first);
        for (std::uint32_t i = 0; i < c.grow; ++i) array.AllocateNext();
        EXPECT_EQ(array.BlockCount(), c.blocksBefore);
        array.Shrink(c.shrinkBy);
        EXPECT_EQ(array.Count(), c.grow - c.shrinkBy);
        EXPECT_EQ(array.BlockCount(), c.blocksAfter) << c.grow << " shrunk by " << c.shrinkBy;
    }

    alignas(16) Byte first[64];
    SegmentedArray array(16, first, first + sizeof first);
    for (int i = 0; i < 20; ++i) array.AllocateNext();
    array.RemoveLast();
    EXPECT_EQ(array.Count(), 19u);
    array.ClearAndFree();
    EXPECT_EQ(array.Count(), 0u);
    EXPECT_EQ(array.BlockCount(), 1u);
    EXPECT_EQ(array.AllocateNext(), first);
}

TEST(SegmentedArray, RefusesAMisfitFirstBlockAndOvershrinking) {
    Byte first[64];
    EXPECT_THROW(SegmentedArray(24, first, first + sizeof first), RequirementFailure);
    EXPECT_THROW(SegmentedArray(16, first, first), RequirementFailure);
    SegmentedArray array(16, first, first + sizeof first);
    array.AllocateNext();
    EXPECT_THROW(array.Shrink(2), RequirementFailure);
    EXPECT_EQ(array.Count(), 1u);
}

TEST(SegmentedVector, KeepsItsElementsInPlaceAndDestroysThem) {
    auto counter = std::make_shared<int>(0);
    {
        SegmentedVector<std::shared_ptr<int>, 4> list;
        std::vector<const std::shared_ptr<int>*> addresses;
        for (int i = 0; i < 40; ++i) addresses.push_back(&list.Append(counter));
        EXPECT_EQ(list.Count(), 40u);
        EXPECT_EQ(counter.use_count(), 41);
        for (std::uint32_t i = 0; i < list.Count(); ++i) EXPECT_EQ(&list[i], addresses[i]);
        list.Clear();
        EXPECT_EQ(counter.use_count(), 1);
        list.Append(counter);
    }
    EXPECT_EQ(counter.use_count(), 1);
}
