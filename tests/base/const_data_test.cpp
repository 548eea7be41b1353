#include "base/const_data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "base/const_data_buffer.h"

namespace {
ConstData Text(const char* s) {
    return ConstDataOfCString(s);
}
}  // namespace

TEST(ConstDataTest, EqualityPrefixAndOrder) {
    EXPECT_TRUE(ConstDataEqual(Text("abc"), Text("abc")));
    EXPECT_FALSE(ConstDataEqual(Text("abc"), Text("abd")));
    EXPECT_FALSE(ConstDataEqual(Text("ab"), Text("abc")));
    EXPECT_TRUE(ConstDataEqual(ConstData(), Text("")));
    EXPECT_TRUE(ConstDataEqual(ConstDataOfCString(nullptr), ConstData()));

    EXPECT_TRUE(ConstDataStartsWith(Text("abc"), Text("ab")));
    EXPECT_TRUE(ConstDataStartsWith(Text("abc"), ConstData()));
    EXPECT_FALSE(ConstDataStartsWith(Text("ab"), Text("abc")));

    struct Case {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"ab", "abc", true}, {"b", "abc", false}, {"abc", "abc", false}, {"", "a", true},
        {"a", "", false},    {"z", "\x80", true}, {"\xff", "a", false},
    };
    for (const Case& c : cases) EXPECT_EQ(ConstDataLess(Text(c.a), Text(c.b)), c.less) << c.a << " < " << c.b;
}

TEST(ConstDataTest, CopiesStopAtTheShorterRange) {
    Byte buffer[4] = {};
    ConstData rest = ConstDataCopyOut(Text("abcdef"), buffer, buffer + 4);
    EXPECT_EQ(rest.View(), "ef");
    EXPECT_EQ(ConstData(buffer, 4).View(), "abcd");

    OutputRange output(buffer, buffer + 4);
    OutputRange unfilled = CopyIntoRangeRest(output, Text("xy"));
    EXPECT_EQ(output.begin, buffer);
    EXPECT_EQ(unfilled.begin, buffer + 2);
    EXPECT_EQ(ConstData(buffer, 4).View(), "xycd");

    CopyIntoOutputRange(output, Text("123456"));
    EXPECT_TRUE(output.IsFull());
    EXPECT_EQ(ConstData(buffer, 4).View(), "1234");
}

TEST(ConstDataTest, CopyBytesIntoRangeAdvancesBothAndAllowsOverlap) {
    char buffer[] = "abcdef";
    OutputRange output(buffer, buffer + 4);
    ConstData source(buffer + 2, buffer + 6);  // overlaps the output
    CopyBytesIntoRange(output, source);
    EXPECT_EQ(std::string(buffer), "cdefef");
    EXPECT_TRUE(output.IsFull());
    EXPECT_TRUE(source.IsEmpty());

    OutputRange none;
    ConstData input = Text("x");
    CopyBytesIntoRange(none, input);
    EXPECT_EQ(input.Length(), 1u);
}

TEST(ConstDataTest, StringFromConstDataKeepsEveryByte) {
    EXPECT_EQ(StringFromConstData(ConstData()), "");
    EXPECT_EQ(StringFromConstData(ConstData("a\0b", 3)), std::string("a\0b", 3));
}

TEST(ConstDataTest, OwnedByteRangeMovesItsBlock) {
    OwnedByteRange block = AllocateByteRange(8);
    ASSERT_EQ(block.Length(), 8u);
    OutputRange fill = block.Output();
    CopyIntoOutputRange(fill, Text("12345678"));
    Byte* bytes = block.Begin();

    OwnedByteRange moved(std::move(block));
    EXPECT_EQ(moved.Begin(), bytes);
    EXPECT_EQ(moved.Data().View(), "12345678");
    EXPECT_EQ(block.Begin(), nullptr);
    EXPECT_EQ(block.Length(), 0u);

    OwnedByteRange target = AllocateByteRange(2);
    target = std::move(moved);
    EXPECT_EQ(target.Begin(), bytes);
    EXPECT_EQ(moved.Begin(), nullptr);
    EXPECT_EQ(AllocateByteRange(0).Length(), 0u);
}

TEST(ConstDataTest, OverflowTests) {
    constexpr auto max32 = std::numeric_limits<std::uint32_t>::max();
    constexpr auto max64 = std::numeric_limits<std::uint64_t>::max();
    EXPECT_TRUE(AddFitsIn32(max32 - 1, 1));
    EXPECT_FALSE(AddFitsIn32(max32, 1));
    EXPECT_TRUE(AddFitsIn64(max64, 0));
    EXPECT_FALSE(AddFitsIn64(max64 - 1, 2));
    EXPECT_TRUE(MultiplyFitsIn32(0, max32));
    EXPECT_TRUE(MultiplyFitsIn32(0x10000, 0xFFFF));
    EXPECT_FALSE(MultiplyFitsIn32(0x10000, 0x10000));
    EXPECT_TRUE(MultiplyFitsIn64(0, max64));
    EXPECT_TRUE(MultiplyFitsIn64(max64 / 10, 10));
    EXPECT_FALSE(MultiplyFitsIn64(max64 / 10 + 1, 10));
}

TEST(ConstDataBufferTest, HoldsAtMostItsCapacity) {
    ConstDataBuffer<10> holder;
    EXPECT_STREQ(holder.GetCString(), "");
    holder.Assign(Text("0123456789"));
    EXPECT_EQ(holder.View(), "0123456789");
    EXPECT_EQ(holder.GetCString()[10], '\0');
    EXPECT_THROW(holder.Assign(Text("0123456789a")), ConstDataCapacityExceeded);

    holder.Assign(Text("abc"));
    holder.Append('d');
    holder.Append(Text("efghij"));
    EXPECT_EQ(holder.View(), "abcdefghij");
    EXPECT_THROW(holder.Append('k'), ConstDataCapacityExceeded);
    EXPECT_STREQ(ConstDataCapacityExceeded().what(), "class ConstDataCapacityExceeded");
}

TEST(ConstDataTest, AtReachesEveryByteOfTheRoomAndNoFurther) {
    Byte bytes[3] = {1, 2, 3};
    const OutputRange range(bytes, bytes + 3);
    range.At(2) = 9;
    EXPECT_EQ(bytes[2], 9);
    EXPECT_EQ(&range.At(0), bytes);
    EXPECT_THROW(range.At(3), DataOverflow);
    EXPECT_THROW(OutputRange().At(0), DataOverflow);
}
