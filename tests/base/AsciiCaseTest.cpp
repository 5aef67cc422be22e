#include "base/AsciiCase.h"

#include <gtest/gtest.h>

#include <string>

using namespace halcyra;

TEST(AsciiCase, OnlyAsciiLettersFold) {
    EXPECT_TRUE(equalsIgnoringAsciiCase("Profile_1", "pROFILE_1"));
    EXPECT_TRUE(equalsIgnoringAsciiCase("", ""));
    EXPECT_FALSE(equalsIgnoringAsciiCase("abc", "abcd"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("abcd", "abc"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("@", "`")); // the bytes just outside the letter ranges
    EXPECT_FALSE(equalsIgnoringAsciiCase("[", "{"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("\xc3\x84", "\xc3\xa4")); // UTF-8 letters keep their case
    EXPECT_EQ(asciiLower('Z'), 'z');
    EXPECT_EQ(asciiLower(0xC4), 0xC4);
}

TEST(AsciiCase, OrderFoldsToLowerCaseAndComparesBytesUnsigned) {
    EXPECT_EQ(orderIgnoringAsciiCase("abc", "ABC"), 0);
    EXPECT_EQ(orderIgnoringAsciiCase("a", "B"), -1);
    EXPECT_EQ(orderIgnoringAsciiCase("B", "a"), 1);
    EXPECT_EQ(orderIgnoringAsciiCase("_", "A"), -1); // '_' lies between the upper- and lower-case letters
    EXPECT_EQ(orderIgnoringAsciiCase("z", "\x80"), -1);
    EXPECT_EQ(orderIgnoringAsciiCase("ab", "AB "), -1); // a text sorts before longer ones it begins
    EXPECT_EQ(orderIgnoringAsciiCase("ab ", "AB"), 1);
    EXPECT_EQ(orderIgnoringAsciiCase("", ""), 0);
    EXPECT_EQ(orderIgnoringAsciiCase(std::string("a\0b", 3), std::string("A\0c", 3)), -1);
}
