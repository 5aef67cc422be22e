#include "base/Wildcard.h"

#include <gtest/gtest.h>

using halcyra::WildcardMask;

namespace {

bool search(std::string_view mask, std::string_view name) {
    return WildcardMask::compile(mask, WildcardMask::Syntax::DirectorySearch)->matches(name);
}

bool fileMask(std::string_view mask, std::string_view name) {
    auto compiled = WildcardMask::compile(mask, WildcardMask::Syntax::FileMask);
    EXPECT_TRUE(compiled.has_value()) << mask;
    return compiled && compiled->matches(name);
}

} // namespace

TEST(Wildcard, DirectorySearchStarDotStarMatchesEverything) {
    for (std::string_view name : {"a.txt", "README", ".hidden", "x.", "a.b.c"})
        EXPECT_TRUE(search("*.*", name)) << name;
}

TEST(Wildcard, StarsAndQuestionMarksIgnoreAsciiCase) {
    EXPECT_TRUE(search("*.PAS", "unit.pas"));
    EXPECT_TRUE(search("a?c", "ABC"));
    EXPECT_FALSE(search("a?c", "ac"));
    EXPECT_TRUE(search("*", ""));
    EXPECT_FALSE(search("?", ""));
    EXPECT_TRUE(search("*a*b", "xxaxxb"));
    EXPECT_FALSE(search("*.txt", "a.txt.bak"));
    EXPECT_FALSE(search("\xC3\xA9", "\xC3\x89")); // only ASCII letters fold
}

TEST(Wildcard, BracketIsLiteralInDirectorySearch) {
    EXPECT_TRUE(search("[ab].txt", "[ab].txt"));
    EXPECT_FALSE(search("[ab].txt", "a.txt"));
    EXPECT_TRUE(search("[", "["));
}

TEST(Wildcard, FileMaskSetsRangesAndNegation) {
    EXPECT_TRUE(fileMask("[ab]*.txt", "Bob.txt"));
    EXPECT_FALSE(fileMask("[ab]*.txt", "cob.txt"));
    EXPECT_TRUE(fileMask("file[0-9].dat", "file7.dat"));
    // Ranges ignore ASCII case whichever case the range or the name is written in.
    EXPECT_TRUE(fileMask("[A-C]", "b"));
    EXPECT_TRUE(fileMask("[a-c]*.txt", "Bob.txt"));
    EXPECT_FALSE(fileMask("[!a-c]x", "bx"));
    EXPECT_FALSE(fileMask("[!a-c]x", "Bx"));
    EXPECT_FALSE(fileMask("[!A-C]x", "bx"));
    EXPECT_TRUE(fileMask("[!a-c]x", "dx"));
    EXPECT_FALSE(WildcardMask::compile("abc[de", WildcardMask::Syntax::FileMask).has_value());
    EXPECT_FALSE(WildcardMask::compile("[", WildcardMask::Syntax::FileMask).has_value());
}

TEST(Wildcard, PathologicalMasksFinishQuickly) {
    const std::string name(5000, 'a');
    EXPECT_FALSE(search("*a*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(fileMask("*a*a*a*a*a*a*a*a*a*a*", name));
}
