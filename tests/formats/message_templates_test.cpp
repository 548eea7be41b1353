#include "formats/message_templates.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Fill(std::string_view templateText, std::vector<OptionalText> arguments) {
    ConstData text(templateText);
    return FormatToString(text, FormatText(text, arguments));
}

}  // namespace

TEST(TemplateFormatter, GoldenStrings) {
    struct Case {
        std::string_view templateText;
        std::vector<OptionalText> arguments;
        std::string_view result;
    };
    const Case cases[] = {
        {"{header}: {sequence}{_crlf}", {"x-a", "7"}, "x-a: 7\r\n"},
        {"abc", {}, "abc"},
        {"", {}, ""},
        {"ab}cd", {}, "ab}cd"},
        {"{_obrace}a{_cbrace}", {}, "{a}"},
        {"{_cbrace}{_cr}{_crlf}{_lf}{_obrace}{_tab}", {}, "}\r\r\n\n{\t"},
        {"{_tab}{x}{_lf}", {"v"}, "\tv\n"},
        {"{9abc}", {"n"}, "n"},
        {"{a}{b}", {"{b}", "}"}, "{b}}"},  // argument texts are never scanned
        {"[{gone}]", {static_cast<const char*>(nullptr)}, "[]"},
        {"{z}{a}{m}", {"1", "2", "3"}, "123"},  // by position, whatever the names' order
        {"{id},{id}", {"x", "y"}, "x,x"},       // a repeated name takes two arguments; the lookup finds one
        {"{b}{a}{b}", {"2", "1", "0"}, "010"},
        {"caf\xc3\xa9 {v}", {"\xc3\xa9"}, "caf\xc3\xa9 \xc3\xa9"},
    };
    for (const Case& c : cases) EXPECT_EQ(Fill(c.templateText, c.arguments), c.result) << c.templateText;
}

TEST(TemplateFormatter, MismatchesThrowBeforeAnyOutput) {
    EXPECT_THROW(Fill("abc", {"x"}), TooFewFormatArguments);
    EXPECT_THROW(Fill("{a}{b}", {"x"}), TooManyFormatArguments);
    EXPECT_THROW(Fill("{_crlf}", {"x"}), TooFewFormatArguments);  // a built-in takes no argument
    EXPECT_THROW(Fill("ab{cd", {}), BadFormatStringError);
    EXPECT_THROW(Fill("{a}{", {"x"}), BadFormatStringError);
    EXPECT_THROW(Fill("{_CRLF}", {}), UndefinedFormatVariable);
    EXPECT_THROW(Fill("{_nothing}", {}), UndefinedFormatVariable);
    EXPECT_THROW(Fill("{}", {"x"}), ImproperFormatVariableName);
    EXPECT_THROW(Fill("{a-b}", {"x"}), ImproperFormatVariableName);
    EXPECT_THROW(Fill("{a b}", {"x"}), ImproperFormatVariableName);
}

TEST(FormatVariableNames, RulesAndLookUp) {
    EXPECT_NO_THROW(CheckFormatVariableName(ConstData(std::string_view("9abc"))));
    EXPECT_NO_THROW(CheckFormatVariableName(ConstData(std::string_view("-ab_1"))));  // any first character
    EXPECT_THROW(CheckFormatVariableName(ConstData(std::string_view("a-b"))), ImproperFormatVariableName);
    EXPECT_THROW(IsBuiltInFormatVariable(ConstData()), ImproperFormatVariableName);
    EXPECT_TRUE(IsBuiltInFormatVariable(ConstData(std::string_view("_x"))));

    std::vector<FormatBinding> bindings =
        FormatText(ConstData(std::string_view("{b}{a}")), std::vector<OptionalText>{"2", "1"});
    EXPECT_EQ(LookUpFormatVariable(ConstData(std::string_view("a")), bindings).text.View(), "1");
    EXPECT_THROW(LookUpFormatVariable(ConstData(std::string_view("A")), bindings), UndefinedFormatVariable);
    EXPECT_THROW(LookUpFormatVariable(ConstData(), bindings), ImproperFormatVariableName);
    OptionalText builtIn = LookUpFormatVariable(ConstData(std::string_view("_crlf")), bindings);
    EXPECT_TRUE(builtIn.present);
    EXPECT_EQ(builtIn.text.View(), "\r\n");
    EXPECT_EQ(FormatPieceValue({ConstData(std::string_view("lit")), false}, bindings).text.View(), "lit");
}

TEST(FormatStringScanner, CutsLiteralsAndFields) {
    FormatStringScanner scanner(ConstData(std::string_view("a{b}}c{_lf}{}")));
    std::vector<std::string> pieces;
    while (scanner.Next())
        pieces.push_back((scanner.Piece().isVariable ? "field:" : "text:") +
                         std::string(scanner.Piece().text.View()));
    EXPECT_EQ(pieces, (std::vector<std::string>{"text:a", "field:b", "text:}c", "field:_lf", "field:"}));
}
