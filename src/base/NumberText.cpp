#include "base/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

namespace halcyra {

std::string generalNumberText(double value, int significantDigits, std::string_view decimalSeparator) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";
    significantDigits = std::clamp(significantDigits, 1, 17);

    // The shortest decimal digits that read back as `value` ("d.ddde+XX", independent of any locale),
    // then rounded half away from zero to the significant digits asked for.
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = scientific.find('e');
    std::string digits;
    for (char c : scientific.substr(0, e))
        if (c >= '0' && c <= '9')
            digits += c;
    int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
    const auto kept = static_cast<std::size_t>(significantDigits);
    if (digits.size() > kept) {
        const bool roundUp = digits[kept] >= '5';
        digits.resize(kept);
        if (roundUp) {
            std::size_t i = kept;
            while (i > 0 && digits[i - 1] == '9')
                digits[--i] = '0';
            if (i == 0) {
                digits.insert(digits.begin(), '1');
                digits.pop_back();
                ++exponent;
            } else {
                ++digits[i - 1];
            }
        }
    }
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= significantDigits) {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += '0';
        out += decimalSeparator;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= integerDigits) {
            out += digits;
            out.append(integerDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, integerDigits);
            out += decimalSeparator;
            out += digits.substr(integerDigits);
        }
    }
    return out;
}

std::string currentDecimalSeparator() {
    const char* separator = nl_langinfo(RADIXCHAR);
    return separator != nullptr && *separator != '\0' ? separator : ".";
}

std::optional<std::string> decimalSeparatorOf(const std::string& localeName) {
    const locale_t locale = newlocale(LC_NUMERIC_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return std::nullopt;
    const char* separator = nl_langinfo_l(RADIXCHAR, locale);
    std::string result = separator != nullptr && *separator != '\0' ? separator : ".";
    freelocale(locale);
    return result;
}

} // namespace halcyra
