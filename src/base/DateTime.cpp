#include "base/DateTime.h"

#include <ctime>

namespace halcyra {

namespace {

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
    return civilSeconds(civil);
}

TDateTimeSecs fileDateTime(std::int64_t unixSeconds) {
    const TDateTimeSecs local = localDateTime(unixSeconds);
    return local - (local & 1); // two's complement: rounds down for negative values too
}

std::string formatDateTime(TDateTimeSecs value, char dateSeparator, char timeSeparator) {
    const CivilDateTime civil = civilDateTime(clampCivilSeconds(value));
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
    if (!isValidCivilDateTime(civil))
        return std::nullopt;
    return civilSeconds(civil);
}

} // namespace halcyra
