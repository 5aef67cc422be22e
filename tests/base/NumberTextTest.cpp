#include "base/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>

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
