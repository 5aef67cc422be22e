#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// What one line-based format needs escaped beyond the bytes every format escapes
// (control bytes below 0x20, 0x7F, and '<' itself).
struct LineEscapeRules {
    std::string_view syntax;  // characters the format itself uses as syntax
    bool edgeBlanks = false;  // the format's reader trims lines: protect a leading/trailing blank
};

// Writes `name` so that it fits on one line of a line-based file: each byte that needs it becomes
// "<HH>" (two upper-case hex digits). A name that needs nothing comes back unchanged.
std::string escapeLine(std::string_view name, const LineEscapeRules& rules = {});

// Exact inverse of escapeLine for every rule set: each "<HH>" with two upper-case hex digits
// becomes its byte; any other '<' stays as it is, so text without "<HH>" reads unchanged.
std::string unescapeLine(std::string_view text);

} // namespace halcyra
