#include "base/stringy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_string.h"

TEST(StringyTest, InlineUpTo128BytesThenHeap) {
    const std::string text127(127, 'a'), text128(128, 'a');
    Stringy inlineText(text127.c_str());
    EXPECT_EQ(inlineText.Size(), 128u);
    EXPECT_TRUE(inlineText.IsInline());
    Stringy heapText(text128.c_str());
    EXPECT_EQ(heapText.Size(), 129u);
    EXPECT_FALSE(heapText.IsInline());
    EXPECT_EQ(heapText.GetCString(), text128);

    // Growing past the boundary moves the text to the heap; shrinking brings it back.
    Stringy growing(inlineText);
    growing += 'b';
    EXPECT_FALSE(growing.IsInline());
    EXPECT_EQ(growing.GetCString(), text127 + "b");
    growing = inlineText;
    EXPECT_TRUE(growing.IsInline());

    Stringy copy(heapText), moved(std::move(heapText));
    EXPECT_EQ(moved.GetCString(), text128);
    EXPECT_NE(copy.GetCString(), moved.GetCString());
    EXPECT_TRUE(heapText.IsNull());
    Stringy movedInline(std::move(inlineText));
    EXPECT_TRUE(movedInline.IsInline());
    EXPECT_EQ(movedInline.GetCString(), text127);
}

TEST(StringyTest, NullAndEmpty) {
    Stringy null, fromNull(static_cast<const char*>(nullptr)), empty("");
    EXPECT_TRUE(null.IsNull());
    EXPECT_TRUE(fromNull.IsNull());
    EXPECT_EQ(empty.Size(), 1u);
    EXPECT_STREQ(null.GetCString(), "");
    EXPECT_EQ(null.Compare(empty), 0);
    EXPECT_TRUE(null == empty);

    Stringy target("x");
    target = empty;
    EXPECT_TRUE(target.IsNull());
    target = "y";
    target = static_cast<const char*>(nullptr);
    EXPECT_TRUE(target.IsNull());
    EXPECT_TRUE(Stringy("abc", 0u).IsNull());
    EXPECT_TRUE(Stringy(ByteString()).IsNull());
    EXPECT_EQ(null.At(0), 0);
    EXPECT_TRUE(null.GetConstData().IsEmpty());
}

TEST(StringyTest, CountedAndNumberConstruction) {
    Stringy counted("abcdef", 3u);
    EXPECT_STREQ(counted.GetCString(), "abc");
    EXPECT_EQ(counted.At(2), 'c');
    EXPECT_EQ(counted.At(3), 0);
    EXPECT_EQ(counted.At(1000), 0);
    EXPECT_THROW(Stringy("a", 0xFFFFFFFFu), StringyLengthTooLong);
    EXPECT_STREQ(StringyLengthTooLong().what(), "class StringyLengthTooLong");

    EXPECT_STREQ(Stringy(-42).GetCString(), "-42");
    EXPECT_STREQ(Stringy(0).GetCString(), "0");
    EXPECT_STREQ(Stringy(4294967295u).GetCString(), "4294967295");
    EXPECT_STREQ(Stringy(std::uint64_t(18446744073709551615u)).GetCString(), "18446744073709551615");

    const char bytes[] = {'a', 0, 'b'};
    Stringy fromBytes{ByteString(bytes, bytes + 3)};
    EXPECT_EQ(fromBytes.Size(), 4u);
    EXPECT_EQ(fromBytes.GetConstData().View(), std::string_view(bytes, 3));
}

TEST(StringyTest, Appending) {
    Stringy text("ab");
    text += Stringy();
    text += Stringy("");
    text += static_cast<const char*>(nullptr);
    text += "";
    text += '\0';
    text += ConstData();
    EXPECT_STREQ(text.GetCString(), "ab");
    text += Stringy("c");
    text += "d";
    text += 'e';
    text += ConstDataOfCString("f");
    EXPECT_STREQ(text.GetCString(), "abcdef");
    text += text;
    EXPECT_STREQ(text.GetCString(), "abcdefabcdef");

    Stringy null;
    null += "x";
    EXPECT_STREQ(null.GetCString(), "x");
    EXPECT_STREQ(ConcatenateStringys(Stringy("a"), Stringy("b")).GetCString(), "ab");

    Stringy big(std::string(100, 'z').c_str());
    big += big;  // its own text, moving to the heap
    EXPECT_EQ(big.GetCString(), std::string(200, 'z'));
}

TEST(StringyTest, Comparisons) {
    struct Case {
        Stringy a;
        Stringy b;
        int compare;
    };
    const Case cases[] = {
        {Stringy("abc"), Stringy("abd"), -1}, {Stringy("abd"), Stringy("abc"), 1},
        {Stringy("abc"), Stringy("abc"), 0},  {Stringy("ab"), Stringy("abc"), -1},
        {Stringy(), Stringy("a"), -1},        {Stringy("a"), Stringy(""), 1},
        {Stringy("\x80"), Stringy("a"), 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.a.Compare(c.b), c.compare) << c.a.GetCString() << " " << c.b.GetCString();
    EXPECT_TRUE(Stringy("a") != "b");
    EXPECT_FALSE(Stringy("a") != "a");
    EXPECT_FALSE(Stringy() != "");

    EXPECT_TRUE(Stringy("ABC").EqualsIgnoringCase(Stringy("abc")));
    EXPECT_FALSE(Stringy("abc").EqualsIgnoringCase(Stringy("abcd")));
    EXPECT_FALSE(Stringy().EqualsIgnoringCase(Stringy("")));
    EXPECT_GT(Stringy("a_").CompareIgnoringCase(Stringy("AB")), 0);
    EXPECT_EQ(Stringy("aBc").CompareIgnoringCase(Stringy("AbC")), 0);
    EXPECT_LT(Stringy("abc").CompareIgnoringCase(Stringy("ABCD")), 0);
    EXPECT_LT(Stringy().CompareIgnoringCase(Stringy("")), 0);
    EXPECT_EQ(Stringy().CompareIgnoringCase(Stringy()), 0);
}

TEST(StringyTest, Pieces) {
    Stringy abc("abc");
    struct Case {
        Stringy piece;
        const char* expected;  // nullptr: a null result
    };
    const Case cases[] = {
        {abc.Mid(10, 2), nullptr},    {abc.Mid(1, 1), "b"},       {abc.Mid(-5, 2), "ab"},
        {abc.Mid(1, -1), nullptr},    {abc.Mid(3, 1), nullptr},   {abc.Mid(1, 100), "bc"},
        {abc.Right(5), "abc"},        {abc.Right(1), "c"},        {abc.Right(-1), nullptr},
        {abc.Left(2), "ab"},          {abc.Left(9), "abc"},       {abc.Left(-3), nullptr},
        {abc.MidToEnd(1), "bc"},      {abc.MidToEnd(4), nullptr}, {abc.MidToEnd(-2), "abc"},
        {Stringy().Left(2), nullptr},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        if (cases[i].expected)
            EXPECT_STREQ(cases[i].piece.GetCString(), cases[i].expected) << "case " << i;
        else
            EXPECT_TRUE(cases[i].piece.IsNull()) << "case " << i;
    }
}

TEST(StringyTest, Trim) {
    Stringy blank("  \t\r\n");
    blank.Trim();
    EXPECT_TRUE(blank.IsNull());
    Stringy text(" a b ");
    text.Trim();
    EXPECT_STREQ(text.GetCString(), "a b");
    Stringy other(
        "\x0B"
        "x\x0C");  // vertical tab and form feed are kept
    other.Trim();
    EXPECT_EQ(other.Length(), 3u);
    Stringy heap((" " + std::string(200, 'q') + "\n").c_str());
    heap.Trim();
    EXPECT_EQ(heap.GetCString(), std::string(200, 'q'));
}

TEST(StringyTest, VectorsCopyTheirElements) {
    std::vector<Stringy> list;
    for (int i = 0; i < 50; ++i) list.emplace_back(i);
    list.emplace_back(std::string(300, 'h').c_str());
    for (int i = 0; i < 50; ++i) EXPECT_EQ(list[i], Stringy(i));
    std::vector<Stringy> copy = list;
    EXPECT_EQ(copy.back().Length(), 300u);
}
