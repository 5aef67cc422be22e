#include "base/DateTime.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

using namespace halcyra;

TEST(DateTime, TextAtTheEdges) {
    EXPECT_EQ(formatDateTime(MinDateTimeSecs), "01/01/0001 00:00:00");
    EXPECT_EQ(formatDateTime(MaxDateTimeSecs), "31/12/9999 23:59:59");
    EXPECT_EQ(formatDateTime(-1, '.', '-'), "31.12.1969 23-59-59");
    EXPECT_EQ(formatDateTime(std::numeric_limits<std::int64_t>::max()), "31/12/9999 23:59:59");
}

TEST(DateTime, TextRoundTripsEverywhereInRange) {
    std::mt19937_64 random(11);
    std::uniform_int_distribution<std::int64_t> any(MinDateTimeSecs, MaxDateTimeSecs);
    for (int i = 0; i < 20000; ++i) {
        const std::int64_t value = i < 2 ? (i == 0 ? MinDateTimeSecs : MaxDateTimeSecs) : any(random);
        const std::string text = formatDateTime(value, '.', ':');
        ASSERT_EQ(parseDateTime(text, '.', ':'), value) << text;
    }
}

TEST(DateTime, ParserTakesOnlyWellFormedDates) {
    EXPECT_EQ(parseDateTime("05/03/2024 14:07:09"), toDateTimeSecs({2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(parseDateTime("5/3/2024 4:07:09"), toDateTimeSecs({2024, 3, 5, 4, 7, 9}));
    EXPECT_EQ(parseDateTime("29/02/2024 00:00:00"), toDateTimeSecs({2024, 2, 29, 0, 0, 0}));
    for (const char* bad :
         {"29/02/2023 00:00:00", "31/04/2024 00:00:00", "00/01/2024 00:00:00", "01/13/2024 00:00:00",
          "01/01/0000 00:00:00", "01/01/24 00:00:00", "01/01/20245 00:00:00", "01/01/2024 24:00:00",
          "01/01/2024 00:60:00", "01/01/2024 00:00:60", "01/01/2024 00:00", "01/01/2024  00:00:00",
          " 01/01/2024 00:00:00", "01/01/2024 00:00:00 ", "01.01.2024 00:00:00", "001/01/2024 00:00:00", "",
          "-1/01/2024 00:00:00"})
        EXPECT_FALSE(parseDateTime(bad).has_value()) << bad;
}

TEST(DateTime, FileTimesAreLocalWithEvenSeconds) {
    halcyra::test::TimeZone zone("UTC0");
    EXPECT_EQ(fileDateTime(0), 0);
    EXPECT_EQ(fileDateTime(1700000001), 1700000000);
    EXPECT_EQ(fileDateTime(-1), -2); // 31/12/1969 23:59:58
    EXPECT_EQ(fileDateTime(-1000000001), -1000000002);
    EXPECT_EQ(localDateTime(1700000001), 1700000001);
    {
        halcyra::test::TimeZone berlin("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(fileDateTime(0), 3600);
        EXPECT_EQ(formatDateTime(fileDateTime(1720000001)), "03/07/2024 11:46:40"); // summer time
    }
}

TEST(DateTime, TimesBeyondTheCalendarAreClampedNotFatal) {
    halcyra::test::TimeZone zone("UTC0");
    EXPECT_EQ(fileDateTime(std::numeric_limits<std::int64_t>::max()), MaxDateTimeSecs - 1);
    EXPECT_EQ(fileDateTime(std::numeric_limits<std::int64_t>::min()), MinDateTimeSecs);
    EXPECT_EQ(fileDateTime(1000000000000000), MaxDateTimeSecs - 1);
    EXPECT_EQ(fileDateTime(-1000000000000000), MinDateTimeSecs);
    EXPECT_EQ(fileDateTime(32503680001), toDateTimeSecs({3000, 1, 1, 0, 0, 0})); // far future, in range
    EXPECT_EQ(formatDateTime(fileDateTime(-62135596801)), "01/01/0001 00:00:00");
}
