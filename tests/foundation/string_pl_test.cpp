#include "foundation/string_pl.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/system_error.h"

TEST(StringPLTest, EmptyStringsShareOneBlockAndGrowByDoubling) {
    StringPL a, b(nullptr), c("");
    EXPECT_EQ(a.GetCString(), b.GetCString());
    EXPECT_EQ(a.GetCString(), c.GetCString());
    EXPECT_EQ(a.GetCapacity(), 1u);
    EXPECT_TRUE(a.IsEmpty());

    a.Append("a");
    EXPECT_EQ(a.GetCapacity(), 2u);
    a.Append("bc");
    EXPECT_EQ(a.GetCapacity(), 4u);
    EXPECT_STREQ(a.GetCString(), "abc");
    b.AppendBytes("x\0y", 3);
    EXPECT_EQ(b.GetLength(), 3);
    EXPECT_EQ(b.GetConstData().View(), std::string_view("x\0y", 3));

    StringPL copy(a);
    EXPECT_NE(copy.GetCString(), a.GetCString());
    EXPECT_EQ(copy.GetCapacity(), 4u);
    copy.Append(copy.GetCString());  // its own text
    EXPECT_STREQ(copy.GetCString(), "abcabc");
    EXPECT_STREQ(a.GetCString(), "abc");
}

TEST(StringPLTest, CountedConstruction) {
    StringPL ab("abcdef", 2);
    EXPECT_STREQ(ab.GetCString(), "ab");
    EXPECT_EQ(ab.GetLength(), 2);
    // Copying stops at the source's NUL; the rest of the n bytes are zero.
    StringPL padded("ab", 4);
    EXPECT_EQ(padded.GetLength(), 4);
    EXPECT_EQ(padded.GetConstData().View(), std::string_view("ab\0\0", 4));
    EXPECT_TRUE(StringPL(nullptr, 5).IsEmpty());
    EXPECT_TRUE(StringPL("abc", 0).IsEmpty());
    // Every negative count is refused, not only -1.
    for (int n : {-1, -2, -100, INT_MIN}) EXPECT_THROW(StringPL("abc", n), StringPLOutOfBoundsException) << n;
    EXPECT_STREQ(StringPLOutOfBoundsException().what(), "StringPLOutOfBoundsException");
}

TEST(StringPLTest, FromBytes) {
    const std::vector<Byte> bytes = {'a', 'b', 0, 'c'};
    EXPECT_EQ(StringPLFromBytes(bytes, 1, 3).GetConstData().View(), std::string_view("b\0c", 3));
    EXPECT_TRUE(StringPLFromBytes(bytes, 4, 0).IsEmpty());
    EXPECT_THROW(StringPLFromBytes(bytes, 2, 3), StringPLOutOfBoundsException);
    EXPECT_THROW(StringPLFromBytes(bytes, 5, 0), StringPLOutOfBoundsException);
}

TEST(StringPLTest, AccessAndComparison) {
    StringPL text("abc");
    EXPECT_EQ(text.At(0), 'a');
    EXPECT_EQ(text.At(2), 'c');
    EXPECT_THROW(text.At(3), StringPLOutOfBoundsException);
    EXPECT_THROW(text.At(-1), StringPLOutOfBoundsException);
    EXPECT_TRUE(text.Equals("ABC"));
    EXPECT_FALSE(text.Equals("abcd"));
    EXPECT_LT(text.Compare("ABD"), 0);
    EXPECT_GT(text.Compare("AB"), 0);
    EXPECT_GT(text.Compare(nullptr), 0);
    EXPECT_TRUE(StringPL().Equals(nullptr));
}

TEST(StringPLTest, Assignment) {
    StringPL text("abcdef");
    text.AssignText(text.GetCString());
    EXPECT_STREQ(text.GetCString(), "abcdef");
    text.AssignText(text.GetCString() + 2);  // a piece of its own text
    EXPECT_STREQ(text.GetCString(), "cdef");
    EXPECT_EQ(text.GetCapacity(), 5u);
    text.Assign(text);
    EXPECT_STREQ(text.GetCString(), "cdef");
    text.AssignText(nullptr);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(text.GetCString(), StringPL().GetCString());

    StringPL other("xy");
    text = other;
    EXPECT_STREQ(text.GetCString(), "xy");
    StringPL moved(std::move(other));
    EXPECT_STREQ(moved.GetCString(), "xy");
    EXPECT_TRUE(other.IsEmpty());
}

TEST(StringPLTest, Searching) {
    StringPL abc("abc");
    EXPECT_EQ(abc.FindText("", 3), 3);
    EXPECT_EQ(StringPL("ab").FindText("", 3), -1);
    EXPECT_EQ(abc.Find('c', 0), 2);
    EXPECT_EQ(abc.Find('c', 3), -1);
    EXPECT_EQ(abc.Find('c', 10), -1);
    EXPECT_EQ(abc.FindText("B", 0), -1);
    EXPECT_EQ(abc.FindTextIgnoringCase("B", 0), 1);
    EXPECT_EQ(abc.FindText("bc", 1), 1);
    EXPECT_EQ(abc.FindText("bc", 2), -1);
    EXPECT_EQ(abc.FindText("abcd", 0), -1);
    EXPECT_EQ(StringPL("xababc").FindText("abc", 0), 3);
    EXPECT_TRUE(abc.Contains("bc"));
    EXPECT_FALSE(abc.Contains("BC"));
    EXPECT_TRUE(abc.ContainsIgnoringCase("BC"));
    EXPECT_THROW(abc.Find('a', -1), StringPLOutOfBoundsException);
    EXPECT_THROW(abc.FindText("a", -1), StringPLOutOfBoundsException);
    EXPECT_THROW(abc.FindTextIgnoringCase("a", -1), StringPLOutOfBoundsException);
}

TEST(StringPLTest, Pieces) {
    StringPL abcd("abcd");
    EXPECT_STREQ(abcd.Substring(2, 99).GetCString(), "cd");
    EXPECT_STREQ(abcd.Substring(4, 1).GetCString(), "");
    EXPECT_THROW(abcd.Substring(5, 0), StringPLOutOfBoundsException);
    EXPECT_THROW(abcd.Substring(-1, 1), StringPLOutOfBoundsException);
    EXPECT_THROW(abcd.Substring(0, -1), StringPLOutOfBoundsException);
    EXPECT_STREQ(abcd.Left(2).GetCString(), "ab");
    EXPECT_STREQ(abcd.Left(10).GetCString(), "abcd");
    EXPECT_THROW(abcd.Left(-1), StringPLOutOfBoundsException);
    EXPECT_STREQ(abcd.MidToEnd(1).GetCString(), "bcd");
    EXPECT_STREQ(abcd.MidToEnd(4).GetCString(), "");
    EXPECT_THROW(abcd.MidToEnd(5), StringPLOutOfBoundsException);

    StringPL mixed("MiXeD 1\xC4");
    mixed.ToLower();
    EXPECT_STREQ(mixed.GetCString(), "mixed 1\xC4");
    StringPL empty;
    empty.ToLower();
    EXPECT_TRUE(empty.IsEmpty());
}

TEST(StringPLTest, FormatGrowsFrom64To128Bytes) {
    StringPL text;
    const std::string hundred(100, 'x');
    text.Format("%s", hundred.c_str());
    EXPECT_EQ(text.GetLength(), 100);
    EXPECT_EQ(text.GetCapacity(), 128u);
    EXPECT_EQ(text.GetCString(), hundred);

    text.Format("%d-%s", 7, "a");
    EXPECT_STREQ(text.GetCString(), "7-a");
    EXPECT_EQ(text.GetCapacity(), 128u);
    StringPL small;
    small.Format("%u", 5u);
    EXPECT_EQ(small.GetCapacity(), 64u);
}

TEST(StringPLTest, FormatMayReadItsOwnText) {
    // The old block stays alive until the new text is complete.
    StringPL text(std::string(60, 'a').c_str());
    text.Format("%s|%s", text.GetCString(), text.GetCString());
    EXPECT_EQ(std::string(text.GetCString()), std::string(60, 'a') + "|" + std::string(60, 'a'));
    EXPECT_EQ(text.GetCapacity(), 128u);
}
