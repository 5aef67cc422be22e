#include "detection/CommaText.h"

namespace halcyra {

namespace {

// Blanks and control characters, the bytes that separate and surround items.
bool isSpace(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

} // namespace

std::vector<std::string> splitCommaText(std::string_view text) {
    return splitDelimitedText(text, ',');
}

std::vector<std::string> splitDelimitedText(std::string_view text, char delimiter) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    const std::size_t size = text.size();
    while (pos < size && isSpace(text[pos]))
        ++pos;
    while (pos < size) {
        std::string item;
        if (text[pos] == '"') {
            ++pos;
            while (pos < size) {
                if (text[pos] == '"') {
                    if (pos + 1 < size && text[pos + 1] == '"') {
                        item += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item += text[pos++];
            }
        } else {
            const std::size_t start = pos;
            while (pos < size && !isSpace(text[pos]) && text[pos] != delimiter)
                ++pos;
            item.assign(text.substr(start, pos - start));
        }
        items.push_back(std::move(item));
        while (pos < size && isSpace(text[pos]))
            ++pos;
        if (pos < size && text[pos] == delimiter) {
            if (pos + 1 == size)
                items.emplace_back();
            ++pos;
            while (pos < size && isSpace(text[pos]))
                ++pos;
        }
    }
    return items;
}

std::string joinCommaText(const std::vector<std::string>& items) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            out += ',';
        const std::string& item = items[i];
        bool quote = item.empty();
        for (char c : item)
            if (isSpace(c) || c == ',' || c == '"')
                quote = true;
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

} // namespace halcyra
