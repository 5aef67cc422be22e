#include "cli/DirectorySearchMask.h"

#include <gtest/gtest.h>

#include <string_view>
#include <tuple>

// How the directory search of the platform the console hasher stands in for matches names.
TEST(DirectorySearchMask, MatchesAsTheDirectorySearch) {
    // clang-format off
    const std::tuple<std::string_view, std::string_view, bool> cases[] = {
        // "*.*" matches every name, with or without a dot; "*." only names without an extension.
        {"*.*", "noext", true}, {"*.*", ".hidden", true}, {"*.*", "a.b.c", true},
        {"*.", "noext", true}, {"*.", "a.txt", false}, {"*.", ".hidden", false}, {"*.", "a.b.", true},
        // "?" at the end or before a '.' may match nothing; elsewhere one character, never a '.'.
        {"ab?", "ab", true}, {"ab?", "abc", true}, {"ab?", "abcd", false}, {"ab?", "ab.", false},
        {"ab??", "ab", true}, {"ab??", "abcde", false},
        {"a?.txt", "a.txt", true}, {"a?.txt", "ab.txt", true}, {"a?.txt", "abc.txt", false},
        {"?.txt", "B.TXT", true}, {"?.txt", "ab.txt", false},
        {"a?c", "abc", true}, {"a?c", "ac", false}, {"a?c", "a.c", false},
        {"*.?", "abc", true}, {"*.?", "a.b", true}, {"*.?", "a.bc", false},
        // A '.' before "*" or at the end also matches the end of the name.
        {"a.*", "a", true}, {"a.*", "a.txt", true}, {"a.*", "ab", false},
        {"readme.", "readme", true}, {"readme.", "readme.txt", false},
        // "*" before a '.' never takes the name's last '.'; a plain "*" takes anything.
        {"*.txt", "a.b.txt", true}, {"*.txt", "a.txt.bak", false}, {"*.tx*", "a.txt.tx1", true},
        {"*a*b", "xxaxxb", true}, {"*a*b", "xxaxxbx", false},
        // ASCII letters match in either case, other bytes exactly; '[' is an ordinary character.
        {"*.PAS", "unit.pas", true}, {"\xC3\xA9", "\xC3\x89", false}, {"[x]*", "[x].txt", true},
        {"[x]*", "x.txt", false},
    };
    // clang-format on
    for (const auto& [pattern, name, matches] : cases) {
        EXPECT_EQ(halcyra::DirectorySearchMask(pattern).matches(name), matches)
            << "pattern \"" << pattern << "\", name \"" << name << "\"";
    }
}
