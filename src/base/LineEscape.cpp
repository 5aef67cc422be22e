#include "base/LineEscape.h"

namespace halcyra {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void appendEscaped(std::string& out, unsigned char byte) {
    out += '<';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
    out += '>';
}

} // namespace

std::string escapeLine(std::string_view name, const LineEscapeRules& rules) {
    std::string out;
    out.reserve(name.size());
    const std::size_t last = name.size() - 1;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool edgeBlank = rules.edgeBlanks && byte == ' ' && (i == 0 || i == last);
        if (byte < 0x20 || byte == 0x7F || byte == '<' || edgeBlank ||
            rules.syntax.find(static_cast<char>(byte)) != std::string_view::npos)
            appendEscaped(out, byte);
        else
            out += static_cast<char>(byte);
    }
    return out;
}

std::string unescapeLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '<' && i + 3 < text.size() && text[i + 3] == '>') {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

} // namespace halcyra
