#pragma once

#include <algorithm>
#include <string_view>

namespace halcyra {

// Lower-cases ASCII letters only; every other byte is returned unchanged.
constexpr unsigned char asciiLower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

// Whether the texts are equal once ASCII letters are folded to one case (other bytes compare as they are).
inline bool equalsIgnoringAsciiCase(std::string_view left, std::string_view right) {
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
        return asciiLower(static_cast<unsigned char>(a)) == asciiLower(static_cast<unsigned char>(b));
    });
}

// -1, 0 or 1 as `left` sorts before, with or after `right`: bytes compared as unsigned values with ASCII
// letters lower-cased (so "_" sorts before letters), a text before every longer text it begins.
inline int orderIgnoringAsciiCase(std::string_view left, std::string_view right) {
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char a = asciiLower(static_cast<unsigned char>(left[i]));
        const unsigned char b = asciiLower(static_cast<unsigned char>(right[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    return left.size() == right.size() ? 0 : (left.size() < right.size() ? -1 : 1);
}

} // namespace halcyra
