#include "base/CivilTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

using namespace halcyra;

TEST(CivilTime, SecondsAtTheEdges) {
    EXPECT_EQ(civilSeconds({1970, 1, 1, 0, 0, 0}), 0);
    EXPECT_EQ(civilSeconds({1969, 12, 31, 23, 59, 59}), -1);
    EXPECT_EQ(civilSeconds({2000, 3, 1, 0, 0, 0}) - civilSeconds({2000, 2, 28, 0, 0, 0}), 2 * 86400);
    EXPECT_EQ(civilSeconds({1900, 3, 1, 0, 0, 0}) - civilSeconds({1900, 2, 28, 0, 0, 0}), 86400);
    EXPECT_EQ(civilSeconds({1, 1, 1, 0, 0, 0}), EarliestCivilSeconds);
    EXPECT_EQ(civilSeconds({9999, 12, 31, 23, 59, 59}), LatestCivilSeconds);
    EXPECT_EQ(daysFromCivil(2024, 3, 0), daysFromCivil(2024, 2, 29)); // days run over month ends
}

TEST(CivilTime, FieldsRoundTripEverywhereInRange) {
    std::mt19937_64 random(11);
    std::uniform_int_distribution<std::int64_t> any(EarliestCivilSeconds, LatestCivilSeconds);
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t value = i < 2 ? (i == 0 ? EarliestCivilSeconds : LatestCivilSeconds) : any(random);
        const CivilDateTime civil = civilDateTime(value);
        ASSERT_TRUE(isValidCivilDateTime(civil)) << value;
        ASSERT_EQ(civilSeconds(civil), value);
        ASSERT_EQ(civilDayOf(value), daysFromCivil(civil.year, civil.month, civil.day)) << value;
    }
}

TEST(CivilTime, DaysRoundTowardThePast) {
    EXPECT_EQ(civilDayOf(0), 0);
    EXPECT_EQ(civilDayOf(86399), 0);
    EXPECT_EQ(civilDayOf(86400), 1);
    EXPECT_EQ(civilDayOf(-1), -1);
    EXPECT_EQ(civilDayOf(-86400), -1);
    EXPECT_EQ(civilDayOf(-86401), -2);
}

TEST(CivilTime, ClampKeepsTheFourDigitYearRange) {
    EXPECT_EQ(clampCivilSeconds(std::numeric_limits<std::int64_t>::min()), EarliestCivilSeconds);
    EXPECT_EQ(clampCivilSeconds(std::numeric_limits<std::int64_t>::max()), LatestCivilSeconds);
    EXPECT_EQ(clampCivilSeconds(EarliestCivilSeconds - 1), EarliestCivilSeconds);
    EXPECT_EQ(clampCivilSeconds(LatestCivilSeconds + 1), LatestCivilSeconds);
    EXPECT_EQ(clampCivilSeconds(-1), -1);
}

TEST(CivilTime, OnlyRealDateTimesAreValid) {
    EXPECT_TRUE(isValidCivilDateTime({2024, 2, 29, 23, 59, 59}));
    EXPECT_TRUE(isValidCivilDateTime({2000, 2, 29, 0, 0, 0}));
    EXPECT_TRUE(isValidCivilDateTime({1, 1, 1, 0, 0, 0}));
    EXPECT_TRUE(isValidCivilDateTime({9999, 12, 31, 23, 59, 59}));
    EXPECT_FALSE(isValidCivilDateTime({1900, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2023, 2, 29, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 4, 31, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 13, 1, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 0, 1, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 1, 0, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({0, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({10000, 1, 1, 0, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 1, 1, 24, 0, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 1, 1, 0, 60, 0}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 1, 1, 0, 0, 60}));
    EXPECT_FALSE(isValidCivilDateTime({2024, 1, 1, -1, 0, 0}));
}
