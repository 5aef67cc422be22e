#include "base/DisplayDateTime.h"

#include "base/CivilTime.h"

#include <algorithm>
#include <functional>
#include <langinfo.h>

namespace halcyra {

namespace {

using Kind = DisplayDateTimeFormat::Kind;
using Padding = DisplayDateTimeFormat::Padding;
using Token = DisplayDateTimeFormat::Token;
using LangInfo = std::function<std::string(nl_item)>;

void appendLiteral(std::vector<Token>& tokens, std::string_view text) {
    if (text.empty())
        return;
    if (!tokens.empty() && tokens.back().kind == Kind::Literal) {
        tokens.back().text += text;
        return;
    }
    Token token;
    token.kind = Kind::Literal;
    token.text = text;
    tokens.push_back(std::move(token));
}

void appendField(std::vector<Token>& tokens, Kind kind, Padding padding, bool lowerCase = false) {
    Token token;
    token.kind = kind;
    token.padding = padding;
    token.lowerCase = lowerCase;
    tokens.push_back(std::move(token));
}

// The numeric conversions and their padding without a flag.
struct FieldSpec {
    char conversion;
    Kind kind;
    Padding padding;
};
constexpr FieldSpec kFields[] = {
    {'d', Kind::Day, Padding::Zero},     {'e', Kind::Day, Padding::Space},
    {'m', Kind::Month, Padding::Zero},   {'y', Kind::Year, Padding::Zero},
    {'Y', Kind::Year, Padding::Zero},    {'H', Kind::Hour24, Padding::Zero},
    {'k', Kind::Hour24, Padding::Space}, {'I', Kind::Hour12, Padding::Zero},
    {'l', Kind::Hour12, Padding::Space}, {'M', Kind::Minute, Padding::Zero},
    {'S', Kind::Second, Padding::Zero},
};

// Compiles a strftime-style format into tokens. Returns false for any conversion that is not a
// numeric date or time field (names of days and months, week numbers, ...). Time-zone conversions
// are dropped together with one blank beside them.
bool compileFormat(std::string_view format, const LangInfo& langInfo, int depth, std::vector<Token>& tokens) {
    if (depth > 4)
        return false;
    bool skipBlank = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            if (skipBlank && format[i] == ' ') {
                skipBlank = false;
                continue;
            }
            skipBlank = false;
            appendLiteral(tokens, format.substr(i, 1));
            continue;
        }
        skipBlank = false;
        ++i;
        std::optional<Padding> flagPadding;
        bool upperCase = false;
        while (i < format.size() && std::string_view("-_0^#").find(format[i]) != std::string_view::npos) {
            if (format[i] == '-')
                flagPadding = Padding::None;
            else if (format[i] == '_')
                flagPadding = Padding::Space;
            else if (format[i] == '0')
                flagPadding = Padding::Zero;
            else if (format[i] == '^')
                upperCase = true;
            ++i;
        }
        while (i < format.size() && format[i] >= '1' && format[i] <= '9')
            ++i;
        while (i < format.size() && (format[i] == 'E' || format[i] == 'O'))
            ++i;
        if (i >= format.size())
            return false;
        const char conversion = format[i];
        if (const auto* field =
                std::find_if(std::begin(kFields), std::end(kFields),
                             [conversion](const FieldSpec& f) { return f.conversion == conversion; });
            field != std::end(kFields)) {
            appendField(tokens, field->kind,
                        field->kind == Kind::Year ? Padding::Zero : flagPadding.value_or(field->padding));
            continue;
        }
        std::string expansion;
        switch (conversion) {
        case '%':
            appendLiteral(tokens, "%");
            continue;
        case 'n':
            appendLiteral(tokens, "\n");
            continue;
        case 't':
            appendLiteral(tokens, "\t");
            continue;
        case 'p':
            appendField(tokens, Kind::AmPm, Padding::None, false);
            continue;
        case 'P':
            appendField(tokens, Kind::AmPm, Padding::None, !upperCase);
            continue;
        case 'D':
            expansion = "%m/%d/%y";
            break;
        case 'F':
            expansion = "%Y-%m-%d";
            break;
        case 'T':
            expansion = "%H:%M:%S";
            break;
        case 'R':
            expansion = "%H:%M";
            break;
        case 'r':
            expansion = langInfo(T_FMT_AMPM);
            break;
        case 'x':
            expansion = langInfo(D_FMT);
            break;
        case 'X':
            expansion = langInfo(T_FMT);
            break;
        case 'Z':
        case 'z':
            if (!tokens.empty() && tokens.back().kind == Kind::Literal && tokens.back().text.back() == ' ') {
                tokens.back().text.pop_back();
                if (tokens.back().text.empty())
                    tokens.pop_back();
            } else {
                skipBlank = true;
            }
            continue;
        default:
            return false;
        }
        if (!compileFormat(expansion, langInfo, depth + 1, tokens))
            return false;
    }
    return true;
}

std::size_t countKind(const std::vector<Token>& tokens, Kind kind) {
    return static_cast<std::size_t>(
        std::count_if(tokens.begin(), tokens.end(), [kind](const Token& t) { return t.kind == kind; }));
}

bool isDateOnly(const std::vector<Token>& tokens) {
    return countKind(tokens, Kind::Day) == 1 && countKind(tokens, Kind::Month) == 1 &&
           countKind(tokens, Kind::Year) == 1 && countKind(tokens, Kind::Literal) + 3 == tokens.size();
}

bool isTimeOnly(const std::vector<Token>& tokens, bool haveAmPm) {
    const std::size_t hours24 = countKind(tokens, Kind::Hour24);
    const std::size_t hours12 = countKind(tokens, Kind::Hour12);
    const std::size_t marks = countKind(tokens, Kind::AmPm);
    if (hours24 + hours12 != 1 || countKind(tokens, Kind::Minute) != 1 ||
        countKind(tokens, Kind::Second) != 1)
        return false;
    if (hours12 == 1 && (marks != 1 || !haveAmPm))
        return false;
    if (hours24 == 1 && marks != 0)
        return false;
    return countKind(tokens, Kind::Literal) + 3 + marks == tokens.size();
}

std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void appendNumber(std::string& out, int value, Padding padding, int width) {
    std::string digits = std::to_string(value);
    if (padding != Padding::None && digits.size() < static_cast<std::size_t>(width))
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(),
                      padding == Padding::Zero ? '0' : ' ');
    out += digits;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads one numeric field at `pos` as format() writes it with `padding` and `width`.
std::optional<int> readNumber(std::string_view text, std::size_t& pos, Padding padding, int width) {
    std::size_t digits = 0;
    if (padding == Padding::Space && width == 2 && pos < text.size() && text[pos] == ' ') {
        ++pos;
        digits = 1;
    } else if (padding == Padding::None) {
        digits = pos + 1 < text.size() && isDigit(text[pos]) && isDigit(text[pos + 1]) ? 2 : 1;
    } else {
        digits = static_cast<std::size_t>(width);
    }
    if (pos + digits > text.size())
        return std::nullopt;
    int value = 0;
    for (std::size_t k = 0; k < digits; ++k) {
        if (!isDigit(text[pos + k]))
            return std::nullopt;
        value = value * 10 + (text[pos + k] - '0');
    }
    pos += digits;
    return value;
}

// Whether a date-time falls at exactly 00:00:00.
bool isMidnight(std::int64_t localSeconds) {
    const CivilDateTime civil = civilDateTime(localSeconds);
    return civil.hour == 0 && civil.minute == 0 && civil.second == 0;
}

bool isCLocaleName(std::string_view name) {
    return name == "C" || name == "POSIX" || name.substr(0, 2) == "C.";
}

// Compiles the display format of the locale that `langInfo` answers for.
void buildFormat(const LangInfo& langInfo, std::vector<Token>& tokens, std::vector<Token>& dateTokens,
                 std::string& am, std::string& pm) {
    const std::string name = langInfo(_NL_LOCALE_NAME(LC_TIME));
    am = langInfo(AM_STR);
    pm = langInfo(PM_STR);
    const bool haveAmPm = !am.empty() && !pm.empty() && am != pm;
    const bool plain = isCLocaleName(name);

    std::vector<Token> date;
    if (plain || !compileFormat(langInfo(D_FMT), langInfo, 0, date) || !isDateOnly(date)) {
        date.clear();
        compileFormat("%Y-%m-%d", langInfo, 0, date);
    }
    std::vector<Token> time;
    if (plain || !compileFormat(langInfo(T_FMT), langInfo, 0, time) || !isTimeOnly(time, haveAmPm)) {
        time.clear();
        compileFormat("%H:%M:%S", langInfo, 0, time);
    }
    dateTokens = date;
    tokens.clear();
    for (const Token& token : date)
        token.kind == Kind::Literal ? appendLiteral(tokens, token.text) : tokens.push_back(token);
    appendLiteral(tokens, " ");
    for (const Token& token : time)
        token.kind == Kind::Literal ? appendLiteral(tokens, token.text) : tokens.push_back(token);
}

} // namespace

DisplayDateTimeFormat DisplayDateTimeFormat::fromLocale(locale_t locale) {
    if (locale == LC_GLOBAL_LOCALE) {
        const locale_t previous = uselocale(LC_GLOBAL_LOCALE);
        DisplayDateTimeFormat result = current();
        uselocale(previous);
        return result;
    }
    DisplayDateTimeFormat result;
    buildFormat([locale](nl_item item) { return std::string(nl_langinfo_l(item, locale)); }, result.m_tokens,
                result.m_dateTokens, result.m_am, result.m_pm);
    return result;
}

std::optional<DisplayDateTimeFormat> DisplayDateTimeFormat::forLocale(const std::string& localeName) {
    const locale_t locale = newlocale(LC_TIME_MASK, localeName.c_str(), static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return std::nullopt;
    DisplayDateTimeFormat result = fromLocale(locale);
    freelocale(locale);
    return result;
}

DisplayDateTimeFormat DisplayDateTimeFormat::current() {
    DisplayDateTimeFormat result;
    buildFormat([](nl_item item) { return std::string(nl_langinfo(item)); }, result.m_tokens,
                result.m_dateTokens, result.m_am, result.m_pm);
    return result;
}

std::string DisplayDateTimeFormat::format(std::int64_t localSeconds) const {
    return formatTokens(m_tokens, localSeconds);
}

std::string DisplayDateTimeFormat::formatDateOrDateTime(std::int64_t localSeconds) const {
    const std::int64_t clamped = clampCivilSeconds(localSeconds);
    return formatTokens(isMidnight(clamped) ? m_dateTokens : m_tokens, clamped);
}

std::optional<std::int64_t> DisplayDateTimeFormat::parse(std::string_view text) const {
    return parseTokens(m_tokens, text);
}

std::optional<std::int64_t> DisplayDateTimeFormat::parseDateOrDateTime(std::string_view text) const {
    if (const std::optional<std::int64_t> date = parseTokens(m_dateTokens, text))
        return date;
    const std::optional<std::int64_t> value = parseTokens(m_tokens, text);
    if (value && isMidnight(*value))
        return std::nullopt;
    return value;
}

std::string DisplayDateTimeFormat::formatTokens(const std::vector<Token>& tokens,
                                                std::int64_t localSeconds) const {
    const CivilDateTime fields = civilDateTime(clampCivilSeconds(localSeconds));
    std::string out;
    for (const Token& token : tokens) {
        switch (token.kind) {
        case Kind::Literal:
            out += token.text;
            break;
        case Kind::Day:
            appendNumber(out, fields.day, token.padding, 2);
            break;
        case Kind::Month:
            appendNumber(out, fields.month, token.padding, 2);
            break;
        case Kind::Year:
            appendNumber(out, fields.year, Padding::Zero, 4);
            break;
        case Kind::Hour24:
            appendNumber(out, fields.hour, token.padding, 2);
            break;
        case Kind::Hour12:
            appendNumber(out, fields.hour % 12 == 0 ? 12 : fields.hour % 12, token.padding, 2);
            break;
        case Kind::Minute:
            appendNumber(out, fields.minute, token.padding, 2);
            break;
        case Kind::Second:
            appendNumber(out, fields.second, token.padding, 2);
            break;
        case Kind::AmPm: {
            const std::string& mark = fields.hour < 12 ? m_am : m_pm;
            out += token.lowerCase ? asciiLower(mark) : mark;
            break;
        }
        }
    }
    return out;
}

std::optional<std::int64_t> DisplayDateTimeFormat::parseTokens(const std::vector<Token>& tokens,
                                                               std::string_view text) const {
    CivilDateTime fields;
    std::optional<bool> afternoon;
    int hour12 = 0;
    std::size_t pos = 0;
    for (const Token& token : tokens) {
        std::optional<int> value;
        switch (token.kind) {
        case Kind::Literal:
            if (text.substr(pos, token.text.size()) != token.text)
                return std::nullopt;
            pos += token.text.size();
            continue;
        case Kind::AmPm: {
            const std::string am = token.lowerCase ? asciiLower(m_am) : m_am;
            const std::string pm = token.lowerCase ? asciiLower(m_pm) : m_pm;
            // The longer mark first, in case one begins with the other.
            const bool pmFirst = pm.size() >= am.size();
            for (int attempt = 0; attempt < 2 && !afternoon; ++attempt) {
                const bool tryPm = (attempt == 0) == pmFirst;
                const std::string& mark = tryPm ? pm : am;
                if (text.substr(pos, mark.size()) == mark) {
                    afternoon = tryPm;
                    pos += mark.size();
                }
            }
            if (!afternoon)
                return std::nullopt;
            continue;
        }
        case Kind::Year:
            value = readNumber(text, pos, Padding::Zero, 4);
            break;
        default:
            value = readNumber(text, pos, token.padding, 2);
            break;
        }
        if (!value)
            return std::nullopt;
        switch (token.kind) {
        case Kind::Day:
            fields.day = *value;
            break;
        case Kind::Month:
            fields.month = *value;
            break;
        case Kind::Year:
            fields.year = *value;
            break;
        case Kind::Hour24:
            fields.hour = *value;
            break;
        case Kind::Hour12:
            hour12 = *value;
            break;
        case Kind::Minute:
            fields.minute = *value;
            break;
        case Kind::Second:
            fields.second = *value;
            break;
        default:
            break;
        }
    }
    if (pos != text.size())
        return std::nullopt;
    if (afternoon) {
        if (hour12 < 1 || hour12 > 12)
            return std::nullopt;
        fields.hour = hour12 % 12 + (*afternoon ? 12 : 0);
    }
    if (!isValidCivilDateTime(fields))
        return std::nullopt;
    const std::int64_t seconds = civilSeconds(fields);
    // Only the canonical text of a value is accepted (padding, marks), so parse inverts format exactly.
    if (formatTokens(tokens, seconds) != text)
        return std::nullopt;
    return seconds;
}

std::string DisplayDateTimeFormat::pattern() const {
    std::string out;
    const auto conversion = [&out](const Token& token, char zero, std::string_view space) {
        if (token.padding == Padding::Zero) {
            out += '%';
            out += zero;
        } else if (token.padding == Padding::Space) {
            out += space;
        } else {
            out += "%-";
            out += zero;
        }
    };
    for (const Token& token : m_tokens) {
        switch (token.kind) {
        case Kind::Literal:
            for (char c : token.text)
                out += c == '%' ? std::string("%%") : std::string(1, c);
            break;
        case Kind::Day:
            conversion(token, 'd', "%e");
            break;
        case Kind::Month:
            conversion(token, 'm', "%_m");
            break;
        case Kind::Year:
            out += "%Y";
            break;
        case Kind::Hour24:
            conversion(token, 'H', "%k");
            break;
        case Kind::Hour12:
            conversion(token, 'I', "%l");
            break;
        case Kind::Minute:
            conversion(token, 'M', "%_M");
            break;
        case Kind::Second:
            conversion(token, 'S', "%_S");
            break;
        case Kind::AmPm:
            out += token.lowerCase ? "%P" : "%p";
            break;
        }
    }
    return out;
}

std::string formatDisplayDateTime(std::int64_t localSeconds) {
    return DisplayDateTimeFormat::current().format(localSeconds);
}

std::optional<std::int64_t> parseDisplayDateTime(std::string_view text) {
    return DisplayDateTimeFormat::current().parse(text);
}

} // namespace halcyra
