#pragma once

#include "base/CivilTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// A point in local civil time: seconds counted from 01/01/1970 00:00:00 on the wall clock of the
// local time zone (proleptic Gregorian calendar), so that the integer alone gives day and time.
// Two date-times are equal when their integers are equal.
using TDateTimeSecs = std::int64_t;

// The integer of a civil date and time (no range checks; fields are taken as given), and back.
inline TDateTimeSecs toDateTimeSecs(const CivilDateTime& civil) {
    return civilSeconds(civil);
}
inline CivilDateTime toCivil(TDateTimeSecs value) {
    return civilDateTime(value);
}

// 01/01/0001 00:00:00 and 31/12/9999 23:59:59: the range every date-time text can carry.
inline constexpr TDateTimeSecs MinDateTimeSecs = EarliestCivilSeconds;
inline constexpr TDateTimeSecs MaxDateTimeSecs = LatestCivilSeconds;

// The local civil time of a moment given in seconds since the Unix epoch. Moments the system
// cannot convert, or that fall outside MinDateTimeSecs..MaxDateTimeSecs, are clamped to that range.
TDateTimeSecs localDateTime(std::int64_t unixSeconds);

// A file's last-write time as recorded for it: localDateTime with the seconds rounded down to even.
TDateTimeSecs fileDateTime(std::int64_t unixSeconds);

// "dd/mm/yyyy hh:nn:ss" with the given separators in place of '/' and ':'. Values outside the
// range above are clamped first.
std::string formatDateTime(TDateTimeSecs value, char dateSeparator = '/', char timeSeparator = ':');

// Reads the text formatDateTime writes: day, month, hour, minute and second of one or two digits,
// a four-digit year from 0001, exactly one blank between date and time, no other characters.
// Empty when the text is not a valid date and time.
std::optional<TDateTimeSecs> parseDateTime(std::string_view text, char dateSeparator = '/',
                                           char timeSeparator = ':');

} // namespace halcyra
