#include "cli/DirectorySearchMask.h"

#include <gtest/gtest.h>

#include <string_view>

using halcyra::DirectorySearchMask;

namespace {

struct Case {
    std::string_view pattern;
    std::string_view name;
    bool matches;
};

// How the directory search of the platform the console hasher stands in for matches names.
constexpr Case Cases[] = {
    // "*" and "*.*" match every name, with or without a dot.
    {"*", "noext", true},
    {"*.*", "noext", true},
    {"*.*", ".hidden", true},
    {"*.*", "a.b.c", true},
    // "*." matches names without an extension only.
    {"*.", "noext", true},
    {"*.", "a.txt", false},
    {"*.", ".hidden", false},
    {"*.", "a.b.", true},
    {"x*.", "xyz", true},
    {"x*.", "yz", false},
    // "?" at the end or before a '.' may match nothing; elsewhere exactly one character, never a '.'.
    {"ab?", "ab", true},
    {"ab?", "abc", true},
    {"ab?", "abcd", false},
    {"ab?", "ab.", false},
    {"ab??", "ab", true},
    {"ab??", "abcd", true},
    {"ab??", "abcde", false},
    {"a?.txt", "a.txt", true},
    {"a?.txt", "ab.txt", true},
    {"a?.txt", "abc.txt", false},
    {"?.txt", "B.TXT", true},
    {"?.txt", "ab.txt", false},
    {"a?c", "abc", true},
    {"a?c", "ac", false},
    {"a?c", "a.c", false},
    {"*.?", "abc", true},
    {"*.?", "a.b", true},
    {"*.?", "a.bc", false},
    // A '.' before "*" also matches the end of the name.
    {"a.*", "a", true},
    {"a.*", "a.txt", true},
    {"a.*", "ab", false},
    {"readme.", "readme", true},
    {"readme.", "readme.txt", false},
    // "*" before a '.' never takes the name's last '.'; a plain "*" takes anything.
    {"*.txt", "a.b.txt", true},
    {"*.txt", "a.txt.bak", false},
    {"*.tx*", "a.txt.tx1", true},
    {"*.a*", "x.ab.c", true},
    {"*a*b", "xxaxxb", true},
    {"*a*b", "xxaxxbx", false},
    // ASCII letters match in either case, other bytes exactly; '[' is an ordinary character.
    {"*.PAS", "unit.pas", true},
    {"\xC3\xA9", "\xC3\x89", false},
    {"[x]*", "[x].txt", true},
    {"[x]*", "x.txt", false},
    {"exact.txt", "EXACT.TXT", true},
    {"exact.txt", "exact.txt2", false},
};

} // namespace

TEST(DirectorySearchMask, MatchesAsTheDirectorySearch) {
    for (const Case& c : Cases) {
        EXPECT_EQ(DirectorySearchMask(c.pattern).matches(c.name), c.matches)
            << "pattern \"" << c.pattern << "\", name \"" << c.name << "\"";
    }
}
