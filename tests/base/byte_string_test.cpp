#include "base/byte_string.h"

#include <gtest/gtest.h>

#include <string>

namespace {
void AssignText(ByteString& target, const std::string& text) {
    target.Assign(text.data(), text.data() + text.size());
}
}  // namespace

TEST(ByteStringTest, KeepsItsBlockForShorterValues) {
    ByteString bytes;
    AssignText(bytes, "0123456789");
    const Byte* block = bytes.GetConstData().begin;
    AssignText(bytes, "abcd");
    EXPECT_EQ(bytes.GetConstData().begin, block);
    EXPECT_EQ(bytes.GetConstData().View(), "abcd");
    // The kept block is known only as 4 bytes long, so 12 bytes need a new one.
    AssignText(bytes, "0123456789ab");
    EXPECT_NE(bytes.GetConstData().begin, block);
    EXPECT_EQ(bytes.GetConstData().View(), "0123456789ab");

    AssignText(bytes, "");
    EXPECT_EQ(bytes.GetConstData().begin, nullptr);
    EXPECT_TRUE(bytes.IsEmpty());
}

TEST(ByteStringTest, CopiesHoldAnyBytes) {
    const std::string binary("a\0b\xff", 4);
    ByteString original(binary.data(), binary.data() + binary.size());
    ByteString copy(original);
    EXPECT_EQ(copy.GetConstData().View(), binary);
    EXPECT_NE(copy.GetConstData().begin, original.GetConstData().begin);
    ByteString assigned;
    assigned = original;
    EXPECT_EQ(assigned.GetConstData().View(), binary);
    assigned = assigned;
    EXPECT_EQ(assigned.GetConstData().View(), binary);
    ByteString moved(std::move(original));
    EXPECT_EQ(moved.GetConstData().View(), binary);
    EXPECT_TRUE(original.IsEmpty());
    EXPECT_TRUE(ByteString(nullptr, nullptr).IsEmpty());
}

TEST(ByteStringTest, AssignsAPieceOfItself) {
    ByteString bytes(ConstDataOfCString("hello world"));
    ConstData world = bytes.GetConstData();
    world.begin += 6;
    bytes.Assign(world.Chars(), world.Chars() + world.Length());
    EXPECT_EQ(bytes.GetConstData().View(), "world");
}
