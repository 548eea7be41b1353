#include "foundation/endian.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {
std::vector<Byte> Written(const Byte* begin, const Byte* end) {
    return {begin, end};
}
}  // namespace

TEST(EndianReaders, ReadAndReturnTheRest) {
    const Byte bytes[] = {0x00, 0x00, 0x01, 0x02, 0xAA};
    std::uint32_t value = 0;
    ConstData rest = ReadBigEndian32(ConstData(bytes, 5), value);
    EXPECT_EQ(value, 258u);
    EXPECT_EQ(rest.begin, bytes + 4);
    EXPECT_EQ(rest.end, bytes + 5);

    rest = TakeUInt32(ConstData(bytes + 1, 4), value);
    EXPECT_EQ(value, 0xAA020100u);
    EXPECT_TRUE(rest.IsEmpty());
}

TEST(EndianReaders, ShortRangeThrowsAndReadsNothing) {
    const Byte bytes[] = {1, 2, 3};
    std::uint32_t value = 77;
    EXPECT_THROW(ReadBigEndian32(ConstData(bytes, 3), value), ConstDataTooSmall);
    EXPECT_THROW(TakeUInt32(ConstData(bytes, 3), value), ConstDataTooSmall);
    EXPECT_THROW(TakeUInt32(ConstData(), value), ConstDataTooSmall);
    EXPECT_EQ(value, 77u);
}

TEST(EndianWriters, BigEndianLayouts) {
    std::array<Byte, 8> buffer{};
    OutputRange output(buffer.data(), buffer.size());

    WriteUInt48BigEndian(output, -2);
    EXPECT_EQ(Written(buffer.data(), output.begin), (std::vector<Byte>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
    output = OutputRange(buffer.data(), buffer.size());
    WriteUInt48BigEndian(output, 1);
    EXPECT_EQ(Written(buffer.data(), output.begin), (std::vector<Byte>{0, 0, 0, 0, 0, 1}));

    output = OutputRange(buffer.data(), buffer.size());
    OutputRange rest = PutUInt32BigEndian(output, 0x01020304);
    EXPECT_EQ(output.begin, buffer.data());
    EXPECT_EQ(rest.begin, buffer.data() + 4);
    WriteUInt32BigEndian(rest, 0x05060708);
    EXPECT_TRUE(rest.IsFull());
    EXPECT_EQ(Written(buffer.data(), buffer.data() + 8), (std::vector<Byte>{1, 2, 3, 4, 5, 6, 7, 8}));

    rest = PutUInt64BigEndian(output, 0x1122334455667788);
    EXPECT_TRUE(rest.IsFull());
    EXPECT_EQ(Written(buffer.data(), buffer.data() + 8),
              (std::vector<Byte>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
}

TEST(EndianWriters, ShortOutputThrowsBeforeWriting) {
    std::array<Byte, 5> buffer{};
    OutputRange output(buffer.data(), buffer.size());
    EXPECT_THROW(WriteUInt48BigEndian(output, 1), DataTooSmall);
    EXPECT_THROW(PutUInt64BigEndian(output, 1), DataTooSmall);
    output.begin += 2;
    EXPECT_THROW(WriteUInt32BigEndian(output, 0xFFFFFFFF), DataTooSmall);
    EXPECT_EQ(output.begin, buffer.data() + 2);
    EXPECT_EQ(buffer, (std::array<Byte, 5>{}));

    OutputRange one(buffer.data(), 1);
    PutByte(one, 'a');
    EXPECT_THROW(PutByte(one, 'b'), DataTooSmall);
    OutputRange other(buffer.data() + 1, 1);
    ThrowIfFull(other, 'c');
    EXPECT_THROW(ThrowIfFull(other, 'd'), DataOverflow);
    EXPECT_EQ(buffer[0], 'a');
    EXPECT_EQ(buffer[1], 'c');
    EXPECT_STREQ(DataOverflow().what(), "class DataOverflow");
}
