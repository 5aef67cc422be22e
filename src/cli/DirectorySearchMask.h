#pragma once

#include <string_view>
#include <vector>

namespace halcyra {

// A file name pattern of the console hasher, matched the way the directory search of the platform it
// stands in for matches one (ASCII letters in either case alike, '[' an ordinary character):
// - `*` matches any run of characters, and "*.*" every name;
// - `?` matches one character other than '.'; where the name has a '.' or ends, it matches nothing, so
//   "ab?" matches "ab" and "a?.txt" matches "a.txt";
// - a `*` right before a '.' stops before the name's last '.', and a '.' at the end of the pattern or
//   before `?` or `*` also matches the end of the name: "*." matches names without an extension,
//   "a.*" matches "a".
class DirectorySearchMask {
public:
    explicit DirectorySearchMask(std::string_view pattern);

    // Whether the bare name `name` matches. Time proportional to name length times pattern length.
    bool matches(std::string_view name) const;

private:
    enum class Kind : unsigned char {
        Literal,   // one character, either case
        AnyRun,    // `*`
        RunToDot,  // `*` before '.': any run that does not take the name's last '.'
        OneOrNone, // `?`
        DotOrEnd,  // '.' before `?`, `*` or the pattern's end
    };
    struct Token {
        Kind kind;
        unsigned char literal; // lower-case, for Literal
    };

    std::vector<Token> m_tokens;
    bool m_matchAll = false;
    mutable std::vector<unsigned char> m_states; // scratch: reached tokens (current, next)
};

} // namespace halcyra
