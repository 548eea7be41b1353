#include "http/header_field_search.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(ConstData range) {
    return std::string(range.View());
}

TEST(FindHeaderField, FindsAFieldAtALineStartInAnySpelling) {
    const std::string head = "http/1.0 200 ok\r\ncontent-type: text/plain\r\ny-x-a: 1\r\nx-a: 2\r\n";
    ConstData text(head);
    for (const char* name : {"x-a", "x-a:", "X-A", "X-a:"}) {
        EXPECT_EQ(Text(FindHeaderField(text, name)), "x-a: 2") << name;
        EXPECT_EQ(Text(GetHeaderFieldValue(text, name)), " 2") << name;
    }
    EXPECT_TRUE(FindHeaderField(text, "y").IsEmpty());
    EXPECT_TRUE(FindHeaderField(text, "ok").IsEmpty());
    EXPECT_EQ(Text(GetHeaderFieldValue(text, "HTTP/1.0 200 OK\r\ncontent-type")), "");
}

TEST(FindHeaderField, AFoldedFieldRunsOverItsContinuationLines) {
    struct Case {
        std::string head;
        std::string value;
    };
    const Case cases[] = {
        {"x-a: 1\r\n  2\r\nx-b: 3\r\n", " 1\r\n  2"},
        {"x-a: 1\n\t2\n\t3", " 1\n\t2\n\t3"},
        {"x-a: 1\r\t2\rx-b: 3", " 1\r\t2"},
        {"x-a: 1\r\n\r\n 2", " 1"},  // an empty line ends the field
        {"x-a:", ""},
        {"x-a:\r\n", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(GetHeaderFieldValue(ConstData(c.head), "x-a")), c.value) << c.head;
}

}  // namespace
