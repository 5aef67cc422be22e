#include "cli/DirectorySearchMask.h"

#include "base/AsciiCase.h"

#include <algorithm>

namespace halcyra {

DirectorySearchMask::DirectorySearchMask(std::string_view pattern) {
    if (pattern == "*" || pattern == "*.*") {
        m_matchAll = true;
        return;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto c = static_cast<unsigned char>(pattern[i]);
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '*')
            m_tokens.push_back({next == '.' ? Kind::RunToDot : Kind::AnyRun, 0});
        else if (c == '?')
            m_tokens.push_back({Kind::OneOrNone, 0});
        else if (c == '.' && (next == '?' || next == '*' || i + 1 == pattern.size()))
            m_tokens.push_back({Kind::DotOrEnd, 0});
        else
            m_tokens.push_back({Kind::Literal, asciiLower(c)});
    }
    m_states.resize(2 * (m_tokens.size() + 1));
}

bool DirectorySearchMask::matches(std::string_view name) const {
    if (m_matchAll)
        return true;
    // A set of reached positions in the pattern, advanced one name character at a time. Positions are
    // only ever reached from lower ones, so one forward pass adds the tokens that can match nothing.
    const std::size_t count = m_tokens.size();
    unsigned char* current = m_states.data();
    unsigned char* next = current + count + 1;
    std::fill(current, current + count + 1, 0);
    current[0] = 1;
    const std::size_t lastDot = name.rfind('.');
    for (std::size_t at = 0;; ++at) {
        const bool atEnd = at == name.size();
        const auto c = atEnd ? '\0' : static_cast<unsigned char>(name[at]);
        for (std::size_t t = 0; t < count; ++t) {
            if (!current[t])
                continue;
            const Kind kind = m_tokens[t].kind;
            if (kind == Kind::AnyRun || kind == Kind::RunToDot ||
                (kind == Kind::OneOrNone && (atEnd || c == '.')) || (kind == Kind::DotOrEnd && atEnd))
                current[t + 1] = 1;
        }
        if (atEnd)
            return current[count] != 0;
        std::fill(next, next + count + 1, 0);
        bool any = false;
        for (std::size_t t = 0; t < count; ++t) {
            if (!current[t])
                continue;
            const Token& token = m_tokens[t];
            std::size_t to = count + 1; // none
            switch (token.kind) {
            case Kind::Literal:
                if (asciiLower(c) == token.literal)
                    to = t + 1;
                break;
            case Kind::AnyRun:
                to = t;
                break;
            case Kind::RunToDot:
                if (at != lastDot)
                    to = t;
                break;
            case Kind::OneOrNone:
                if (c != '.')
                    to = t + 1;
                break;
            case Kind::DotOrEnd:
                if (c == '.')
                    to = t + 1;
                break;
            }
            if (to <= count) {
                next[to] = 1;
                any = true;
            }
        }
        if (!any)
            return false;
        std::swap(current, next);
    }
}

} // namespace halcyra
