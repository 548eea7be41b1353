#include "base/const_data_reader.h"

#include <gtest/gtest.h>

#include <string>

TEST(ConstDataReader, ReadsTheRangeInPiecesAndRefusesToReadPastItsEnd) {
    const std::string bytes = "abcdef";
    ConstDataReader reader{ConstData(bytes)};
    EXPECT_FALSE(reader.AtEnd());

    char four[4];
    reader.ReadInto(reinterpret_cast<Byte*>(four), reinterpret_cast<Byte*>(four) + 4);
    EXPECT_EQ(std::string(four, 4), "abcd");

    char three[3] = {'x', 'x', 'x'};
    EXPECT_THROW(reader.ReadInto(reinterpret_cast<Byte*>(three), reinterpret_cast<Byte*>(three) + 3),
                 NoMoreData);
    EXPECT_EQ(std::string(three, 3), "xxx");

    OutputRange room(three, 3);
    reader.ReadSome(room);
    EXPECT_EQ(std::string(three, 2), "ef");
    EXPECT_EQ(room.Room(), 1u);
    EXPECT_TRUE(reader.AtEnd());
    reader.ReadSome(room);
    EXPECT_EQ(room.Room(), 1u);
}
