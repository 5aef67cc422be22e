#include "base/DisplayDateTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <locale.h>
#include <string>
#include <vector>

using halcyra::DisplayDateTimeFormat;

namespace {

// 2024-03-04 13:02:03 as local civil seconds.
constexpr std::int64_t kAfternoon = 1709557323;
constexpr std::int64_t kDay = 86400;
// 0001-01-01 00:00:00 and 9999-12-31 23:59:59.
constexpr std::int64_t kEarliest = -62135596800;
constexpr std::int64_t kLatest = 253402300799;

const std::vector<std::string> kLocales = {"en_US.UTF-8", "en_GB.UTF-8", "de_DE.UTF-8", "C"};

DisplayDateTimeFormat formatOf(const std::string& locale) {
    const auto format = DisplayDateTimeFormat::forLocale(locale);
    if (!format)
        ADD_FAILURE() << "locale " << locale << " is not installed (scripts/setup installs locales-all)";
    return format ? *format : DisplayDateTimeFormat::current();
}

// Values that cross every field boundary: midnight, noon, month and year ends, leap days, range ends.
std::vector<std::int64_t> sampleValues() {
    std::vector<std::int64_t> values = {0,
                                        kAfternoon,
                                        kEarliest,
                                        kLatest,
                                        -1,
                                        951782400,           // 2000-02-29 00:00:00
                                        951782400 + 43200,   // noon
                                        951782400 + 43199,   // 11:59:59
                                        951782400 - 1,       // 2000-02-28 23:59:59
                                        4107542399,          // 2100-02-28 23:59:59
                                        -2208988800 + 3600}; // 1900-01-01 01:00:00
    // A deterministic spread over the whole range.
    std::uint64_t state = 12345;
    for (int i = 0; i < 2000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        values.push_back(kEarliest + static_cast<std::int64_t>((state >> 11) % (kLatest - kEarliest + 1)));
    }
    return values;
}

// Makes the calling thread use one locale for LC_TIME for one scope.
class ScopedThreadLocale {
public:
    explicit ScopedThreadLocale(const char* name)
        : m_locale(newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr))) {
        if (m_locale == static_cast<locale_t>(nullptr))
            ADD_FAILURE() << "locale " << name << " is not installed";
        else
            m_previous = uselocale(m_locale);
    }
    ~ScopedThreadLocale() {
        if (m_locale != static_cast<locale_t>(nullptr)) {
            uselocale(m_previous);
            freelocale(m_locale);
        }
    }

private:
    locale_t m_locale;
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

} // namespace

TEST(DisplayDateTime, EachLocaleShowsItsDateOrderSeparatorsAndClock) {
    EXPECT_EQ(formatOf("en_US.UTF-8").format(kAfternoon), "03/04/2024 01:02:03 PM");
    EXPECT_EQ(formatOf("en_GB.UTF-8").format(kAfternoon), "04/03/2024 13:02:03");
    EXPECT_EQ(formatOf("de_DE.UTF-8").format(kAfternoon), "04.03.2024 13:02:03");
    EXPECT_EQ(formatOf("C").format(kAfternoon), "2024-03-04 13:02:03");
    EXPECT_EQ(formatOf("POSIX").format(0), "1970-01-01 00:00:00");

    const DisplayDateTimeFormat us = formatOf("en_US.UTF-8");
    EXPECT_EQ(us.format(0), "01/01/1970 12:00:00 AM");
    EXPECT_EQ(us.format(12 * 3600), "01/01/1970 12:00:00 PM");
    EXPECT_EQ(us.format(12 * 3600 - 1), "01/01/1970 11:59:59 AM");
    EXPECT_EQ(us.pattern(), "%m/%d/%Y %I:%M:%S %p");
}

TEST(DisplayDateTime, YearHasFourDigitsAndNoTimeZoneIsShown) {
    // en_GB's own short date has a two-digit year; the long time of several locales names the zone.
    EXPECT_EQ(formatOf("en_GB.UTF-8").format(kEarliest), "01/01/0001 00:00:00");
    EXPECT_EQ(formatOf("de_DE.UTF-8").format(kLatest), "31.12.9999 23:59:59");
    for (const std::string& locale : kLocales)
        EXPECT_EQ(formatOf(locale).pattern().find("%Z"), std::string::npos) << locale;
}

TEST(DisplayDateTime, ParseInvertsFormatUnderEveryLocale) {
    const std::vector<std::int64_t> values = sampleValues();
    for (const std::string& locale : kLocales) {
        const DisplayDateTimeFormat format = formatOf(locale);
        for (const std::int64_t value : values) {
            const std::string text = format.format(value);
            const auto back = format.parse(text);
            ASSERT_TRUE(back.has_value()) << locale << ": " << text;
            ASSERT_EQ(*back, value) << locale << ": " << text;
        }
    }
}

TEST(DisplayDateTime, TextOfAnotherLocaleIsRejectedNotMisread) {
    // Day and month both at most 12 are where a wrong reading would go unnoticed.
    std::vector<std::int64_t> values = sampleValues();
    for (int day = 0; day < 40; ++day)
        values.push_back(kAfternoon + day * kDay - 13 * 3600 + day * 3671);
    for (const std::string& writer : kLocales) {
        for (const std::string& reader : kLocales) {
            if (writer == reader)
                continue;
            const DisplayDateTimeFormat written = formatOf(writer);
            const DisplayDateTimeFormat read = formatOf(reader);
            for (const std::int64_t value : values) {
                const std::string text = written.format(value);
                EXPECT_FALSE(read.parse(text).has_value())
                    << writer << " text read as " << reader << ": " << text;
            }
        }
    }
}

TEST(DisplayDateTime, MalformedAndImpossibleTextsAreRejected) {
    const DisplayDateTimeFormat de = formatOf("de_DE.UTF-8");
    const DisplayDateTimeFormat us = formatOf("en_US.UTF-8");
    for (const char* text : {"",
                             " ",
                             "04.03.2024",
                             "04.03.2024 13:02:03 ",
                             " 04.03.2024 13:02:03",
                             "4.3.2024 13:02:03",
                             "04.03.24 13:02:03",
                             "04.03.02024 13:02:03",
                             "29.02.2023 00:00:00",
                             "30.02.2024 00:00:00",
                             "31.04.2024 00:00:00",
                             "00.01.2024 00:00:00",
                             "01.13.2024 00:00:00",
                             "01.01.0000 00:00:00",
                             "01.01.2024 24:00:00",
                             "01.01.2024 23:60:00",
                             "01.01.2024 23:59:60",
                             "01.01.2024 1:02:03",
                             "01.01.2024  13:02:03",
                             "01.01.2024 13:02:0x",
                             "01.01.2024\t13:02:03",
                             "-1.01.2024 13:02:03",
                             "01.01.2024 13:02:03\n"})
        EXPECT_FALSE(de.parse(text).has_value()) << text;
    EXPECT_TRUE(de.parse("29.02.2024 00:00:00").has_value());
    for (const char* text : {"03/04/2024 00:02:03 AM", "03/04/2024 13:02:03 PM", "03/04/2024 01:02:03",
                             "03/04/2024 01:02:03 pm", "03/04/2024 01:02:03 XM", "03/04/2024 1:02:03 PM"})
        EXPECT_FALSE(us.parse(text).has_value()) << text;
    EXPECT_EQ(us.parse("03/04/2024 01:02:03 PM"), kAfternoon);
    EXPECT_EQ(us.parse("03/04/2024 12:02:03 AM"), kAfternoon - 13 * 3600);
}

TEST(DisplayDateTime, ValuesOutsideFourDigitYearsAreShownAtTheRangeEnds) {
    const DisplayDateTimeFormat c = formatOf("C");
    EXPECT_EQ(c.format(kLatest + 1), "9999-12-31 23:59:59");
    EXPECT_EQ(c.format(INT64_MAX), "9999-12-31 23:59:59");
    EXPECT_EQ(c.format(kEarliest - 1), "0001-01-01 00:00:00");
    EXPECT_EQ(c.format(INT64_MIN), "0001-01-01 00:00:00");
    EXPECT_EQ(c.format(-1), "1969-12-31 23:59:59");
}

TEST(DisplayDateTime, SpacePaddedFieldsRoundTripExactly) {
    // bg_BG pads the day and the hour with a blank.
    const DisplayDateTimeFormat bg = formatOf("bg_BG.UTF-8");
    const std::int64_t morning = kAfternoon + kDay - 12 * 3600; // 2024-03-05 01:02:03
    const std::string text = bg.format(morning);
    EXPECT_EQ(text, " 5.03.2024  1:02:03");
    EXPECT_EQ(bg.parse(text), morning);
    EXPECT_FALSE(bg.parse("05.03.2024  1:02:03").has_value());
    EXPECT_FALSE(bg.parse(" 5.03.2024 01:02:03").has_value());
}

TEST(DisplayDateTime, DatesWithWordsFallBackToNumbers) {
    // ar_SA writes weekday and month names in its short date.
    const DisplayDateTimeFormat ar = formatOf("ar_SA.UTF-8");
    EXPECT_EQ(ar.pattern().substr(0, 9), "%Y-%m-%d ");
    EXPECT_EQ(ar.parse(ar.format(kAfternoon)), kAfternoon);
}

TEST(DisplayDateTime, CurrentFormatFollowsTheThreadsLocale) {
    {
        ScopedThreadLocale german("de_DE.UTF-8");
        EXPECT_EQ(halcyra::formatDisplayDateTime(kAfternoon), "04.03.2024 13:02:03");
        EXPECT_EQ(halcyra::parseDisplayDateTime("04.03.2024 13:02:03"), kAfternoon);
        EXPECT_FALSE(halcyra::parseDisplayDateTime("03/04/2024 01:02:03 PM").has_value());
    }
    // The test program never calls setlocale, so the process runs under "C".
    EXPECT_EQ(halcyra::formatDisplayDateTime(kAfternoon), "2024-03-04 13:02:03");
    EXPECT_EQ(DisplayDateTimeFormat::fromLocale(LC_GLOBAL_LOCALE).format(0), "1970-01-01 00:00:00");
    EXPECT_FALSE(DisplayDateTimeFormat::forLocale("xx_NOWHERE.UTF-8").has_value());
}

TEST(DisplayDateTime, MidnightShowsTheDateAloneAndReadsBack) {
    // sl_SI's short date has blanks of its own.
    EXPECT_EQ(formatOf("sl_SI.UTF-8").formatDateOrDateTime(kAfternoon - 13 * 3600 - 2 * 60 - 3),
              "04. 03. 2024");
    EXPECT_EQ(formatOf("en_US.UTF-8").formatDateOrDateTime(kAfternoon), "03/04/2024 01:02:03 PM");
    for (const std::string& locale : {std::string("sl_SI.UTF-8"), std::string("en_US.UTF-8")}) {
        const DisplayDateTimeFormat format = formatOf(locale);
        for (const std::int64_t value : {kEarliest, std::int64_t{0}, kDay, kAfternoon, kLatest, -kDay}) {
            const std::string text = format.formatDateOrDateTime(value);
            EXPECT_EQ(format.parseDateOrDateTime(text), value) << locale << ": " << text;
        }
        // The full text of a midnight is not a text this form makes.
        EXPECT_FALSE(format.parseDateOrDateTime(format.format(kDay)).has_value()) << locale;
    }
}
