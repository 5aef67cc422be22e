#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// `value` in the general number format: its shortest decimal form rounded half away from zero to
// `significantDigits` significant digits (1..17), trailing zeros and a bare decimal separator dropped,
// written in fixed notation ("33.33", "100", "0.00005") unless the rounded value is below 0.00001 or
// has more integer digits than `significantDigits`; then in scientific notation with at least one
// exponent digit ("5E-6", "1.235E12").
// Digits are ASCII; only the decimal separator is the caller's.
std::string generalNumberText(double value, int significantDigits, std::string_view decimalSeparator);

// The decimal separator of the calling thread's current LC_NUMERIC ("." when the locale has none).
std::string currentDecimalSeparator();

// The decimal separator of an installed locale given by name; no value when it is not installed.
std::optional<std::string> decimalSeparatorOf(const std::string& localeName);

} // namespace halcyra
