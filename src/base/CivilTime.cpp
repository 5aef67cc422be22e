#include "base/CivilTime.h"

namespace halcyra {

namespace {

constexpr std::int64_t SecondsInDay = 86400;

// Division rounded toward negative infinity, for a positive divisor.
std::int64_t floorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// Days in a month 1..12 of the given year.
int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

} // namespace

std::int64_t daysFromCivil(std::int64_t year, int month, std::int64_t day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(year, 400);
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

std::int64_t civilSeconds(const CivilDateTime& civil) {
    return daysFromCivil(civil.year, civil.month, civil.day) * SecondsInDay +
           static_cast<std::int64_t>(civil.hour) * 3600 + static_cast<std::int64_t>(civil.minute) * 60 +
           civil.second;
}

CivilDateTime civilDateTime(std::int64_t seconds) {
    const std::int64_t days = floorDiv(seconds, SecondsInDay);
    const std::int64_t secondOfDay = seconds - days * SecondsInDay;
    // Civil date from a day count (inverse of daysFromCivil).
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = floorDiv(shifted, 146097);
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

std::int64_t civilDayOf(std::int64_t seconds) {
    return floorDiv(seconds, SecondsInDay);
}

std::int64_t clampCivilSeconds(std::int64_t seconds) {
    return seconds < EarliestCivilSeconds ? EarliestCivilSeconds
                                          : (seconds > LatestCivilSeconds ? LatestCivilSeconds : seconds);
}

bool isValidCivilDateTime(const CivilDateTime& civil) {
    return civil.year >= 1 && civil.year <= 9999 && civil.month >= 1 && civil.month <= 12 && civil.day >= 1 &&
           civil.day <= daysInMonth(civil.year, civil.month) && civil.hour >= 0 && civil.hour <= 23 &&
           civil.minute >= 0 && civil.minute <= 59 && civil.second >= 0 && civil.second <= 59;
}

} // namespace halcyra
