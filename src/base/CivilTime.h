#pragma once

#include <cstdint>

namespace halcyra {

// Calendar arithmetic on integer local civil time: seconds counted from 1970-01-01 00:00:00 on the wall
// clock (proleptic Gregorian calendar, no time zone), so that the integer alone gives day and time.

// The fields of a local civil date-time.
struct CivilDateTime {
    int year = 1970; // 1..9999 for every value within EarliestCivilSeconds..LatestCivilSeconds
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// 0001-01-01 00:00:00 and 9999-12-31 23:59:59: the range a four-digit year can carry.
inline constexpr std::int64_t EarliestCivilSeconds = -62135596800;
inline constexpr std::int64_t LatestCivilSeconds = 253402300799;

// Days from 1970-01-01 to a date with month 1..12 (the day is taken as given, so it may run past the
// month's end or before its start).
std::int64_t daysFromCivil(std::int64_t year, int month, std::int64_t day);

// The integer of civil fields, taken as given (no range checks).
std::int64_t civilSeconds(const CivilDateTime& civil);

// The fields of an integer: the inverse of civilSeconds for fields that name a real date-time.
CivilDateTime civilDateTime(std::int64_t seconds);

// The day an integer falls on, counted from 1970-01-01 (earlier moments give negative days).
std::int64_t civilDayOf(std::int64_t seconds);

// The value clamped to EarliestCivilSeconds..LatestCivilSeconds.
std::int64_t clampCivilSeconds(std::int64_t seconds);

// Whether the fields name a date-time that exists, from 0001-01-01 00:00:00 to 9999-12-31 23:59:59.
bool isValidCivilDateTime(const CivilDateTime& civil);

} // namespace halcyra
