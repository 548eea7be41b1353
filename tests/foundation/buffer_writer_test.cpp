#include "foundation/buffer_writer.h"

#include <gtest/gtest.h>

TEST(BufferWriter, NeverWritesPastItsCapacity) {
    char buffer[4] = {'x', 'x', 'x', 'x'};
    BufferWriter writer(buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    writer.Append("abc");
    EXPECT_THROW(writer.Append("d"), BufferWriterOverflow);
    EXPECT_STREQ(writer.Text(), "abc");
    writer.Append(nullptr);
    writer.Append("");
    EXPECT_EQ(writer.Used(), 3);
}

TEST(BufferWriter, WritesNumbers) {
    char buffer[64];
    BufferWriter writer(buffer, sizeof buffer);
    writer.AppendDecimal(0u);
    writer.Append(" ");
    writer.AppendDecimal(std::uint64_t{18446744073709551615u});
    writer.Append(" ");
    writer.AppendTwoDigits(7);
    writer.Append(" ");
    writer.AppendTwoDigits(123);
    writer.Append(" ");
    writer.AppendTwoDigits(10);
    EXPECT_STREQ(writer.Text(), "0 18446744073709551615 07 23 10");

    char small[3];
    BufferWriter tight(small, sizeof small);
    EXPECT_THROW(tight.AppendDecimal(123u), BufferWriterOverflow);
    EXPECT_STREQ(tight.Text(), "");
}
