#include "base/Wildcard.h"

namespace halcyra {

namespace {

void addBothCases(std::bitset<256>& set, unsigned char c) {
    set.set(c);
    if (c >= 'a' && c <= 'z')
        set.set(c - ('a' - 'A'));
    else if (c >= 'A' && c <= 'Z')
        set.set(c + ('a' - 'A'));
}

} // namespace

std::optional<WildcardMask> WildcardMask::compile(std::string_view mask, Syntax syntax,
                                                  std::size_t* errorPosition) {
    WildcardMask result;
    if (syntax == Syntax::DirectorySearch && mask == "*.*") {
        result.m_matchAll = true;
        return result;
    }
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const auto c = static_cast<unsigned char>(mask[i]);
        if (c == '*') {
            // Consecutive stars act as one.
            if (result.m_tokens.empty() || result.m_tokens.back().kind != Kind::AnyRun)
                result.m_tokens.push_back(Token{Kind::AnyRun, 0, {}});
        } else if (c == '?') {
            result.m_tokens.push_back(Token{Kind::AnyOne, 0, {}});
        } else if (c == '[' && syntax == Syntax::FileMask) {
            Token token{Kind::Set, 0, {}};
            std::size_t j = i + 1;
            bool negate = false;
            if (j < mask.size() && mask[j] == '!') {
                negate = true;
                ++j;
            }
            bool closed = false;
            for (; j < mask.size(); ++j) {
                const auto first = static_cast<unsigned char>(mask[j]);
                if (first == ']') {
                    closed = true;
                    break;
                }
                if (j + 2 < mask.size() && mask[j + 1] == '-' && mask[j + 2] != ']') {
                    auto last = static_cast<unsigned char>(mask[j + 2]);
                    unsigned char low = asciiLower(first), high = asciiLower(last);
                    if (low > high)
                        std::swap(low, high);
                    for (unsigned v = low; v <= high; ++v)
                        addBothCases(token.set, static_cast<unsigned char>(v));
                    j += 2;
                } else {
                    addBothCases(token.set, first);
                }
            }
            if (!closed) {
                if (errorPosition != nullptr)
                    *errorPosition = i + 1;
                return std::nullopt;
            }
            if (negate)
                token.set.flip();
            result.m_tokens.push_back(token);
            i = j;
        } else {
            Token token{Kind::Literal, asciiLower(c), {}};
            result.m_tokens.push_back(token);
        }
    }
    return result;
}

bool WildcardMask::tokenMatches(const Token& token, unsigned char byte) const {
    switch (token.kind) {
    case Kind::Literal:
        return token.literal == asciiLower(byte);
    case Kind::AnyOne:
        return true;
    case Kind::Set:
        return token.set.test(byte);
    case Kind::AnyRun:
        break;
    }
    return false;
}

bool WildcardMask::matches(std::string_view name) const {
    if (m_matchAll)
        return true;
    // Greedy match remembering only the latest star: every token but '*' consumes exactly one
    // byte, so retrying from the latest star alone is complete and never exponential.
    std::size_t t = 0, n = 0;
    std::size_t starToken = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (t < m_tokens.size() && m_tokens[t].kind == Kind::AnyRun) {
            starToken = t++;
            starName = n;
        } else if (t < m_tokens.size() && tokenMatches(m_tokens[t], static_cast<unsigned char>(name[n]))) {
            ++t;
            ++n;
        } else if (starToken != std::string_view::npos) {
            t = starToken + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (t < m_tokens.size() && m_tokens[t].kind == Kind::AnyRun)
        ++t;
    return t == m_tokens.size();
}

} // namespace halcyra
