#pragma once

#include <cstdint>
#include <locale.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// Date-times here are integer counts of local civil seconds since 1970-01-01 00:00:00 (wall-clock time,
// proleptic Gregorian calendar, not UTC): calendar values, so turning them into text needs no time zone.

// How one locale shows a date-time to the user: the locale's short date with its field order and
// separators and always a four-digit year, one blank, then the locale's long time (hours, minutes and
// seconds, with the locale's AM/PM marks when it uses a 12-hour clock) without any time-zone name.
// Digits are always ASCII. Locales whose date or time is not purely numeric fall back to "YYYY-MM-DD"
// or "HH:MM:SS" for that half; the C/POSIX locale, which carries no user preference, uses both.
//
// parse() is the exact inverse of format(): it accepts only the text format() makes for some value
// from 0001-01-01 00:00:00 to 9999-12-31 23:59:59 and returns no value for anything else, so text
// written under a locale with a different field order, separators or clock fails instead of giving
// another date.
class DisplayDateTimeFormat {
public:
    // The format of the locale's LC_TIME category.
    static DisplayDateTimeFormat fromLocale(locale_t locale);

    // The format of an installed locale given by name ("de_DE.UTF-8", "C"); no value when the locale
    // is not installed.
    static std::optional<DisplayDateTimeFormat> forLocale(const std::string& localeName);

    // The format of the calling thread's current LC_TIME (the process's, unless the thread chose its
    // own with uselocale).
    static DisplayDateTimeFormat current();

    // Display text of a date-time; values before 0001-01-01 00:00:00 or after 9999-12-31 23:59:59 are
    // shown as that first or last date-time.
    std::string format(std::int64_t localSeconds) const;

    // The date-time whose display text is exactly `text`, or no value.
    std::optional<std::int64_t> parse(std::string_view text) const;

    // Like format(), but a value at exactly midnight shows the date alone.
    std::string formatDateOrDateTime(std::int64_t localSeconds) const;

    // Exact inverse of formatDateOrDateTime(): the date alone reads as its midnight, and a full text that
    // names midnight is rejected.
    std::optional<std::int64_t> parseDateOrDateTime(std::string_view text) const;

    // The format as strftime-style conversions ("%d.%m.%Y %H:%M:%S"), for diagnostics.
    std::string pattern() const;

    // Field kinds of the compiled format; public only so that the implementation's helpers can
    // build it.
    enum class Kind { Literal, Day, Month, Year, Hour24, Hour12, Minute, Second, AmPm };
    enum class Padding { Zero, Space, None };
    struct Token {
        Kind kind = Kind::Literal;
        Padding padding = Padding::Zero;
        bool lowerCase = false; // AmPm: the marks in lower case (%P)
        std::string text;       // Literal: the text
    };

private:
    std::string formatTokens(const std::vector<Token>& tokens, std::int64_t localSeconds) const;
    std::optional<std::int64_t> parseTokens(const std::vector<Token>& tokens, std::string_view text) const;

    std::vector<Token> m_tokens;
    std::vector<Token> m_dateTokens; // the date half alone
    std::string m_am;
    std::string m_pm;
};

// Display text of a date-time under the calling thread's current LC_TIME.
std::string formatDisplayDateTime(std::int64_t localSeconds);

// Exact parse of a display text under the calling thread's current LC_TIME; no value when `text` is
// not such a text.
std::optional<std::int64_t> parseDisplayDateTime(std::string_view text);

} // namespace halcyra
