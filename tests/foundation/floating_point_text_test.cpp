#include "foundation/floating_point_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {
constexpr double kInfinity = std::numeric_limits<double>::infinity();
ConstData Text(const char* s) {
    return ConstDataOfCString(s);
}
}  // namespace

TEST(LenientIntegers, FirstRunOfDigits) {
    EXPECT_EQ(ParseDecimalInteger("ab12.7"), 12u);
    EXPECT_EQ(ParseDecimalInteger("abc"), 0u);
    EXPECT_EQ(ParseDecimalInteger(nullptr), 0u);
    EXPECT_EQ(ParseDecimalInteger("x4294967295y"), 4294967295u);
    EXPECT_EQ(ParseDecimalInteger("12345678901"), 0u);
    EXPECT_EQ(ParseDecimalInteger64("v 12345678901 7"), 12345678901u);
    EXPECT_EQ(ParseDecimalInteger64("99999999999999999999"), 0u);
}

TEST(FloatingPointFormat, StandardNotation) {
    struct Case {
        double value;
        double u;
        const char* text;
    };
    const Case cases[] = {
        {1.5, 0.01, "1.50"},    {1.5, 0, "1.5000000000000000"},
        {0.001, 0.01, "0.00"},  {-0.001, 0.01, "-0.00"},
        {-0.0, 1, "-0"},        {1234, 100, "1200"},
        {1234, 1, "1234"},      {9.96, 0.1, "10.0"},
        {0.006, 0.01, "0.01"},  {0.125, 0.01, "0.13"},  // exactly half a unit rounds up
        {0.5, 1, "0"},                                  // half a unit or less is zero
        {2.5, 1, "3"},          {0.0123, 0.0001, "0.0123"},
        {-42.25, 0.1, "-42.3"}, {1e-60, 0, "0.00000000000000000000000000000000000000000000000000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatStandardNotation(c.value, c.u).View(), c.text) << c.value << " u " << c.u;
    EXPECT_THROW(FormatStandardNotation(2e53, 0), TooLargeForStandardNotation);
    EXPECT_EQ(FormatStandardNotation(9e52, 1e52).View(),
              "90000000000000000000000000000000000000000000000000000");
    EXPECT_EQ(FormatStandardNotation(1e70, 1e72).View(), "0");
}

TEST(FloatingPointFormat, ChoiceOfNotation) {
    EXPECT_EQ(FormatFloatingPoint(std::nan(""), 0).View(), "NaN");
    EXPECT_EQ(FormatFloatingPoint(kInfinity, 0).View(), "+infinity");
    EXPECT_EQ(FormatFloatingPoint(-kInfinity, 0).View(), "-infinity");
    EXPECT_THROW(FormatFloatingPoint(1e55, 0), TooLargeForStandardNotation);
    std::string big(FormatFloatingPoint(1e70, 0).View());
    EXPECT_EQ(big.substr(big.size() - 4), "e+70") << big;
    EXPECT_EQ(FormatFloatingPoint(1e70, 1e69).View(), "1.0e+70");
    // The double nearest 10^61 lies just below it, and rounds up to it.
    EXPECT_EQ(FormatFloatingPoint(1e61, 1e59).View(), "1.00e+61");
    EXPECT_EQ(FormatFloatingPoint(1.5e-70, 1e-71).View(), "1.5e-70");
    // A precision finer than standard notation's last place (-53) goes to scientific notation.
    EXPECT_EQ(FormatFloatingPoint(2.145e-53, 1e-57).View(), "2.1450e-53");
    EXPECT_EQ(FormatFloatingPoint(-2.5, 0.1).View(), "-2.5");
    EXPECT_EQ(FormatFloatingPoint(50.0, 1).View(), "50");
    EXPECT_EQ(FormatScientificNotation(1250, 10).View(), "1.25e+3");
    EXPECT_EQ(FormatScientificNotation(0.0125, 0.0001).View(), "1.25e-2");
    EXPECT_EQ(FormatScientificNotation(3, 1).View(), "3");
    EXPECT_LE(FormatFloatingPoint(-std::numeric_limits<double>::denorm_min(), 0).Length(), 62u);
    EXPECT_LE(FormatFloatingPoint(-std::numeric_limits<double>::max(), 0).Length(), 62u);
    EXPECT_LE(FormatFloatingPoint(0.0, 0).Length(), 62u);
    EXPECT_THROW(FormatFloatingPoint(1, -1), RequirementFailure);
    EXPECT_THROW(FormatFloatingPoint(1, kInfinity), RequirementFailure);
}

TEST(FloatingPointParse, ValuesUncertaintiesAndFlags) {
    struct Case {
        const char* text;
        double value;
        double uncertainty;
        unsigned flags;
    };
    const Case cases[] = {
        {"1200", 1200, 100, 0},
        {"1200.0", 1200, 0.1, 0},
        {"1200e0", 1200, 1, 0},
        {"12.50", 12.5, 0.01, 0},
        {"1e3", 1000, 1000, 0},
        {"-0.5", -0.5, 0.1, 0},
        {" + 1 2 . 5 ", 12.5, 0.1, 0},
        {"5.", 5, 1, 0},
        {".25", 0.25, 0.01, 0},
        {"2E-2", 0.02, 0.01, 0},
        {"1.5e +2", 150, 10, 0},
        {"0", 0, 1, 0},
        {"000", 0, 100, 0},
        {"1e400", kInfinity, kInfinity, 5},
        {"-1e400", -kInfinity, kInfinity, 5},
        {"1e-400", 0, std::numeric_limits<double>::min(), 3},
        {"4e-320", 4e-320, std::numeric_limits<double>::min(), 3},
        {"0e-400", 0, std::numeric_limits<double>::min(), 0},
        {"1e99999999999999999999", kInfinity, kInfinity, 5},
        {"0.1", 0.1, 0.1, 0},
    };
    for (const Case& c : cases) {
        ParsedFloatingPoint parsed = ParseFloatingPoint(Text(c.text));
        EXPECT_EQ(parsed.value, c.value) << c.text;
        EXPECT_DOUBLE_EQ(parsed.uncertainty, c.uncertainty) << c.text;
        EXPECT_EQ(parsed.flags, c.flags) << c.text;
    }
    // 30 digits: the uncertainty is the spacing of doubles at the value, not 10.
    const double many = 123456789012345678901234567890.0;
    ParsedFloatingPoint parsed = ParseFloatingPoint(Text("123456789012345678901234567890"));
    EXPECT_EQ(parsed.value, many);
    EXPECT_EQ(parsed.uncertainty, many - std::nextafter(many, 0.0));
}

TEST(FloatingPointParse, RejectedTexts) {
    for (const char* text : {"1e", ".", "nan", "NaN", "+infinity", "inf", "", " ", "-", "1.2.3", "1e5e5",
                             "1e2.5", "e5", "1-", "--1", "1e--1", "0x10", "1,5", "1\t"})
        EXPECT_THROW(ParseFloatingPoint(Text(text)), NotAFloatingPoint) << '"' << text << '"';
    EXPECT_STREQ(NotAFloatingPoint().what(), "class NotAFloatingPoint");
}

TEST(FloatingPointParse, FormattedTextReadsBack) {
    for (double value : {0.1, -3.75, 1234567.125, 6.02214076e23, 1.602176634e-19, 1e300, 5e-324}) {
        FloatingPointText text = FormatFloatingPoint(value, 0);
        ParsedFloatingPoint parsed = ParseFloatingPoint(text.GetConstData());
        EXPECT_LE(std::fabs(parsed.value - value), parsed.uncertainty) << text.GetCString();
    }
}
