#include "base/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

using halcyra::decimalInteger;
using halcyra::generalNumberText;

TEST(NumberText, FourSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(generalNumberText(100.0 / 3, 4, "."), "33.33");
    EXPECT_EQ(generalNumberText(200.0 / 3, 4, "."), "66.67");
    EXPECT_EQ(generalNumberText(12.5, 4, "."), "12.5");
    EXPECT_EQ(generalNumberText(100, 4, "."), "100");
    EXPECT_EQ(generalNumberText(0.1 / 3, 4, "."), "0.03333");
    EXPECT_EQ(generalNumberText(99.996, 4, "."), "100");
    EXPECT_EQ(generalNumberText(1234.4, 4, "."), "1234");
    EXPECT_EQ(generalNumberText(33.125, 4, "."), "33.13"); // a tie rounds away from zero
    EXPECT_EQ(generalNumberText(0, 4, "."), "0");
    EXPECT_EQ(generalNumberText(-2.5, 4, "."), "-2.5");
}

TEST(NumberText, ScientificBelowOneHundredThousandthAndBeyondThePrecision) {
    EXPECT_EQ(generalNumberText(0.00005, 4, "."), "0.00005");
    EXPECT_EQ(generalNumberText(0.00001, 4, "."), "0.00001");
    EXPECT_EQ(generalNumberText(0.0000099999, 4, "."), "0.00001"); // rounds up into fixed notation
    EXPECT_EQ(generalNumberText(0.000005, 4, "."), "5E-6");
    EXPECT_EQ(generalNumberText(100.0 / 30000000, 4, "."), "3.333E-6");
    EXPECT_EQ(generalNumberText(1e-300, 4, "."), "1E-300");
    EXPECT_EQ(generalNumberText(12345, 4, "."), "1.235E4");
    EXPECT_EQ(generalNumberText(9999.6, 4, "."), "1E4");
}

TEST(NumberText, DecimalSeparatorIsTheCallers) {
    EXPECT_EQ(generalNumberText(100.0 / 3, 4, ","), "33,33");
    EXPECT_EQ(generalNumberText(0.000005 * 1.5, 4, ","), "7,5E-6");
    EXPECT_EQ(generalNumberText(100, 4, ","), "100");
    EXPECT_EQ(halcyra::decimalSeparatorOf("de_DE.UTF-8"), ",");
    EXPECT_EQ(halcyra::decimalSeparatorOf("en_US.UTF-8"), ".");
    EXPECT_FALSE(halcyra::decimalSeparatorOf("xx_NOWHERE.UTF-8").has_value());
    EXPECT_EQ(halcyra::currentDecimalSeparator(), "."); // the test program runs under "C"
}

TEST(NumberText, NonFiniteValuesHaveAText) {
    EXPECT_EQ(generalNumberText(NAN, 4, "."), "NAN");
    EXPECT_EQ(generalNumberText(-INFINITY, 4, "."), "-INF");
}

TEST(DecimalInteger, StrictByDefault) {
    EXPECT_EQ(decimalInteger<int>("42"), 42);
    EXPECT_EQ(decimalInteger<int>("-42"), -42);
    EXPECT_EQ(decimalInteger<int>("007"), 7);
    EXPECT_EQ(decimalInteger<int>("-0"), 0);
    for (const char* text : {"", "-", "+", "+5", " 5", "5 ", "--5", "5x", "0x10", "1e3", "\t5"})
        EXPECT_EQ(decimalInteger<int>(text), std::nullopt) << text;
}

TEST(DecimalInteger, RangeIsTheTypes) {
    EXPECT_EQ(decimalInteger<std::int32_t>("2147483647"), 2147483647);
    EXPECT_EQ(decimalInteger<std::int32_t>("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(decimalInteger<std::int32_t>("2147483648"), std::nullopt);
    EXPECT_EQ(decimalInteger<std::int32_t>("-2147483649"), std::nullopt);
    EXPECT_EQ(decimalInteger<std::int64_t>("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(decimalInteger<std::int64_t>("9223372036854775808"), std::nullopt);
    EXPECT_EQ(decimalInteger<std::uint32_t>("4294967295"), 4294967295u);
    EXPECT_EQ(decimalInteger<std::uint32_t>("4294967296"), std::nullopt);
    EXPECT_EQ(decimalInteger<std::uint32_t>("-1"), std::nullopt); // no sign for unsigned types
    EXPECT_EQ(decimalInteger<std::int64_t>("00000000000000000000000000009223372036854775807"), INT64_MAX);
}

TEST(DecimalInteger, SyntaxOptions) {
    const halcyra::DecimalSyntax settings{.leadingBlanks = true, .plusSign = true};
    EXPECT_EQ(decimalInteger<int>("   -5", settings), -5);
    EXPECT_EQ(decimalInteger<int>("  +7", settings), 7);
    EXPECT_EQ(decimalInteger<int>("+7", {.plusSign = true}), 7);
    EXPECT_EQ(decimalInteger<int>("-7", {.plusSign = true}), -7);
    for (const char* text : {"   ", " + 5", "+-5", "-+5", "++5", "5 ", "\t5"})
        EXPECT_EQ(decimalInteger<int>(text, settings), std::nullopt) << text;
    EXPECT_EQ(decimalInteger<int>(" 5", {.plusSign = true}), std::nullopt); // blanks only when asked for
    EXPECT_EQ(decimalInteger<std::int64_t>("12", {.minusSign = false}), 12);
    EXPECT_EQ(decimalInteger<std::int64_t>("-12", {.minusSign = false}), std::nullopt);
    EXPECT_EQ(decimalInteger<std::int64_t>("+12", {.minusSign = false}), std::nullopt);
}
