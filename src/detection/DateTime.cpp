#include "detection/DateTime.h"

#include <ctime>

namespace halcyra {

namespace {

constexpr std::int64_t SecondsPerDay = 86400;

// Days from 01/01/1970 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

TDateTimeSecs clamp(TDateTimeSecs value) {
    return value < MinDateTimeSecs ? MinDateTimeSecs : (value > MaxDateTimeSecs ? MaxDateTimeSecs : value);
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

void appendNumber(std::string& out, int value, int width) {
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

// Reads minDigits..maxDigits decimal digits at `pos`; -1 when there are fewer or more.
int readNumber(std::string_view text, std::size_t& pos, int minDigits, int maxDigits) {
    int value = 0, count = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (++count > maxDigits)
            return -1;
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return count < minDigits ? -1 : value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

} // namespace

TDateTimeSecs toDateTimeSecs(const CivilDateTime& civil) {
    return daysFromCivil(civil.year, civil.month, civil.day) * SecondsPerDay + civil.hour * 3600 +
           civil.minute * 60 + civil.second;
}

CivilDateTime toCivil(TDateTimeSecs value) {
    const std::int64_t days = floorDiv(value, SecondsPerDay);
    const std::int64_t secondOfDay = value - days * SecondsPerDay;
    // Civil date from a day count (inverse of daysFromCivil).
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const std::int64_t dayOfEra = shifted - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    CivilDateTime civil;
    civil.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    civil.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    civil.year = static_cast<int>(yearOfEra + era * 400 + (civil.month <= 2 ? 1 : 0));
    civil.hour = static_cast<int>(secondOfDay / 3600);
    civil.minute = static_cast<int>(secondOfDay / 60 % 60);
    civil.second = static_cast<int>(secondOfDay % 60);
    return civil;
}

TDateTimeSecs localDateTime(std::int64_t unixSeconds) {
    const auto moment = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    if (static_cast<std::int64_t>(moment) != unixSeconds || localtime_r(&moment, &local) == nullptr)
        return unixSeconds < 0 ? MinDateTimeSecs : MaxDateTimeSecs;
    const std::int64_t year = static_cast<std::int64_t>(local.tm_year) + 1900;
    if (year < 1)
        return MinDateTimeSecs;
    if (year > 9999)
        return MaxDateTimeSecs;
    CivilDateTime civil;
    civil.year = static_cast<int>(year);
    civil.month = local.tm_mon + 1;
    civil.day = local.tm_mday;
    civil.hour = local.tm_hour;
    civil.minute = local.tm_min;
    civil.second = local.tm_sec > 59 ? 59 : local.tm_sec; // a leap second counts as the one before
    return toDateTimeSecs(civil);
}

TDateTimeSecs fileDateTime(std::int64_t unixSeconds) {
    const TDateTimeSecs local = localDateTime(unixSeconds);
    return local - (local & 1); // two's complement: rounds down for negative values too
}

std::string formatDateTime(TDateTimeSecs value, char dateSeparator, char timeSeparator) {
    const CivilDateTime civil = toCivil(clamp(value));
    std::string out;
    out.reserve(19);
    appendNumber(out, civil.day, 2);
    out += dateSeparator;
    appendNumber(out, civil.month, 2);
    out += dateSeparator;
    appendNumber(out, civil.year, 4);
    out += ' ';
    appendNumber(out, civil.hour, 2);
    out += timeSeparator;
    appendNumber(out, civil.minute, 2);
    out += timeSeparator;
    appendNumber(out, civil.second, 2);
    return out;
}

std::optional<TDateTimeSecs> parseDateTime(std::string_view text, char dateSeparator, char timeSeparator) {
    std::size_t pos = 0;
    CivilDateTime civil;
    civil.day = readNumber(text, pos, 1, 2);
    if (civil.day < 0 || !expect(text, pos, dateSeparator))
        return std::nullopt;
    civil.month = readNumber(text, pos, 1, 2);
    if (civil.month < 0 || !expect(text, pos, dateSeparator))
        return std::nullopt;
    civil.year = readNumber(text, pos, 4, 4);
    if (civil.year < 0 || !expect(text, pos, ' '))
        return std::nullopt;
    civil.hour = readNumber(text, pos, 1, 2);
    if (civil.hour < 0 || !expect(text, pos, timeSeparator))
        return std::nullopt;
    civil.minute = readNumber(text, pos, 1, 2);
    if (civil.minute < 0 || !expect(text, pos, timeSeparator))
        return std::nullopt;
    civil.second = readNumber(text, pos, 1, 2);
    if (civil.second < 0 || pos != text.size())
        return std::nullopt;
    if (civil.year < 1 || civil.month < 1 || civil.month > 12 || civil.day < 1 ||
        civil.day > daysInMonth(civil.year, civil.month) || civil.hour > 23 || civil.minute > 59 ||
        civil.second > 59)
        return std::nullopt;
    return toDateTimeSecs(civil);
}

} // namespace halcyra
