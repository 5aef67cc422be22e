#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

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

// What decimalInteger accepts besides its digits.
struct DecimalSyntax {
    bool leadingBlanks = false; // blanks (' ', nothing else) before the sign or the digits are skipped
    bool plusSign = false;      // a '+' may stand where a '-' may
    bool minusSign = true;      // a leading '-' for a negative value (signed types only)
};

// The integer that the whole of `text` writes in decimal: one sign at most as `syntax` allows, then one or
// more ASCII digits (leading zeros allowed) and nothing after them, within the range of `Integer`.
// No value for any other text.
template <typename Integer>
std::optional<Integer> decimalInteger(std::string_view text, DecimalSyntax syntax = {}) {
    static_assert(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>);
    if (syntax.leadingBlanks) {
        const std::size_t first = text.find_first_not_of(' ');
        text.remove_prefix(first == std::string_view::npos ? text.size() : first);
    }
    if (!text.empty() && text.front() == '+' && syntax.plusSign) {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return std::nullopt;
    } else if (!text.empty() && text.front() == '-' && !syntax.minusSign) {
        return std::nullopt;
    }
    if (text.empty())
        return std::nullopt;
    // from_chars takes an optional '-' (signed types only) and digits, and reports overflow.
    Integer value{};
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

} // namespace halcyra
