#include "crypto/masthead_operators.h"

#include <gtest/gtest.h>

#include <string>

namespace {

MastheadOperatorList Parse(const std::string& text, bool percentDecoding = true, bool* accepted = nullptr) {
    MastheadOperatorList operators;
    const bool result = ParseMastheadOperatorList(ConstData(std::string_view(text)), percentDecoding, operators);
    if (accepted != nullptr) *accepted = result;
    return operators;
}

const std::string kAlice = ":seq=1:cn=Alice:type=op:dbname=db1:actions=Enable:dbis=false:";

TEST(MastheadOperatorListTest, OneCompleteLine) {
    const MastheadOperatorList operators = Parse("version=2\r\n" + kAlice + "\r\n");
    ASSERT_EQ(operators.size(), 1u);
    const MastheadOperator& alice = operators[0];
    EXPECT_EQ(alice.Sequence, 1);
    EXPECT_EQ(alice.CommonName, "Alice");
    EXPECT_EQ(alice.Type, "op");
    EXPECT_EQ(alice.DatabaseName, "db1");
    EXPECT_TRUE(alice.ActionsEnabled);
    EXPECT_TRUE(alice.Unique);
    EXPECT_FALSE(alice.DatabaseIsSite);
}

TEST(MastheadOperatorListTest, UniqueAmongOperatorsThatAreNotSites) {
    const MastheadOperatorList twins = Parse("version=2\n" + kAlice + "\n:seq=2:cn=ALICE:type=OP:dbname=db2:actions=x:dbis=no:\n");
    ASSERT_EQ(twins.size(), 2u);
    EXPECT_FALSE(twins[0].Unique);
    EXPECT_FALSE(twins[1].Unique);
    EXPECT_FALSE(twins[1].ActionsEnabled);

    const MastheadOperatorList withSite =
        Parse("version=2\n" + kAlice + "\n:seq=2:cn=Alice:type=op:dbname=db2:actions=Enable:dbis=TRUE:\n");
    ASSERT_EQ(withSite.size(), 2u);
    EXPECT_TRUE(withSite[0].Unique);
    EXPECT_TRUE(withSite[1].Unique);
    EXPECT_TRUE(withSite[1].DatabaseIsSite);

    const MastheadOperatorList otherType =
        Parse("version=2\n" + kAlice + "\n:seq=2:cn=Alice:type=master:dbname=db2:actions=Enable:dbis=false:\n");
    EXPECT_TRUE(otherType[0].Unique);
    EXPECT_TRUE(otherType[1].Unique);
}

TEST(MastheadOperatorListTest, ListsThatAreRefused) {
    for (const std::string& text : {"version=1\r\n" + kAlice, "version=2 " + kAlice, std::string("version=2\n"),
                                   std::string("version=2\r\n"), std::string(""), " version=2\n" + kAlice}) {
        bool accepted = true;
        EXPECT_TRUE(Parse(text, true, &accepted).empty()) << text;
        EXPECT_FALSE(accepted) << text;
    }
}

TEST(MastheadOperatorListTest, LinesThatAreSkipped) {
    const std::string lines[] = {
        ":seq=0:cn=A:type=t:dbname=d:actions=a:",
        ":seq=-1:cn=A:type=t:dbname=d:actions=a:",
        ":seq=2147483648:cn=A:type=t:dbname=d:actions=a:",
        ":seq=1x:cn=A:type=t:dbname=d:actions=a:",
        ":seq=1:cn=:type=t:dbname=d:actions=a:",
        ":seq=1:cn=A:type=t:dbname=d:actions=a",  // actions has no closing ":"
        ":seq=1:cn=A:type=t:actions=a:",
        ":seq=1:cn=A%4:type=t:dbname=d:actions=a:",  // a broken escape empties the value
    };
    for (const std::string& line : lines) EXPECT_TRUE(Parse("version=2\n" + line + "\n").empty()) << line;
}

TEST(MastheadOperatorListTest, ValuesAndLineEnds) {
    const MastheadOperatorList operators = Parse(
        "version=2\n\n  :seq= 2 147 483 647:cn=Bob%3aSmith:type=t:dbname=d:actions=a:\r"
        ":dbis=true:seq=3:cn=C:type=t:dbname=d:actions=a:cn=ignored:\n\t:seq=4:cn=%41:type=t:dbname=d:actions=a:");
    ASSERT_EQ(operators.size(), 3u);
    EXPECT_EQ(operators[0].Sequence, 2147483647);
    EXPECT_EQ(operators[0].CommonName, "Bob:Smith");
    EXPECT_EQ(operators[1].CommonName, "C");
    EXPECT_TRUE(operators[1].DatabaseIsSite);
    EXPECT_EQ(operators[2].CommonName, "A");

    const MastheadOperatorList literal = Parse("version=2\n:seq=1:cn=%41:type=t:dbname=d:actions=a:\n", false);
    ASSERT_EQ(literal.size(), 1u);
    EXPECT_EQ(literal[0].CommonName, "%41");
}

}  // namespace
