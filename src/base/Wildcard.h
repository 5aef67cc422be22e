#pragma once

#include "base/AsciiCase.h"

#include <bitset>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace halcyra {

// A compiled name mask, matched ASCII case-insensitively against a bare file name.
// Matching takes time proportional to name length times mask length at worst.
class WildcardMask {
public:
    enum class Syntax {
        // '*' and '?' only, '[' is an ordinary character; "*.*" matches every name,
        // also names without a dot (the console hasher's file patterns).
        DirectorySearch,
        // '*', '?' and character sets "[abc]", "[a-z]", "[!a-z]" (profile and tool masks).
        FileMask,
    };

    // Empty when the mask is malformed (an unclosed '[' in FileMask syntax); then *errorPosition, when
    // given, receives the 1-based position of the '[' that opens the unclosed set.
    static std::optional<WildcardMask> compile(std::string_view mask, Syntax syntax,
                                               std::size_t* errorPosition = nullptr);

    bool matches(std::string_view name) const;

private:
    enum class Kind { Literal, AnyOne, AnyRun, Set };
    struct Token {
        Kind kind;
        unsigned char literal = 0;          // lower-case byte for Literal
        std::bitset<256> set;               // accepted bytes for Set (both cases)
    };
    std::vector<Token> m_tokens;
    bool m_matchAll = false;

    bool tokenMatches(const Token& token, unsigned char byte) const;
};

} // namespace halcyra
