#include "base/LineEscape.h"

#include <gtest/gtest.h>

using halcyra::escapeLine;
using halcyra::LineEscapeRules;
using halcyra::unescapeLine;

TEST(LineEscape, PlainNamesPassUnchanged) {
    for (std::string_view name : {"", "a.txt", "sub dir/na me.ext", "caf\xC3\xA9", "it's", "100%"})
        EXPECT_EQ(escapeLine(name), name);
    EXPECT_EQ(unescapeLine("plain > text"), "plain > text");
}

TEST(LineEscape, ControlBytesAndLessThanAreAlwaysEscaped) {
    EXPECT_EQ(escapeLine("a\nb"), "a<0A>b");
    EXPECT_EQ(escapeLine("\r"), "<0D>");
    EXPECT_EQ(escapeLine("x\x7Fy"), "x<7F>y");
    EXPECT_EQ(escapeLine("\x1F"), "<1F>");
    EXPECT_EQ(escapeLine("a<b"), "a<3C>b");
    // A name that already looks escaped must not decode into something else.
    EXPECT_EQ(escapeLine("<0A>"), "<3C>0A>");
}

TEST(LineEscape, FormatSyntaxAndEdgeBlanksFollowTheRules) {
    const LineEscapeRules results{"*\">"};
    EXPECT_EQ(escapeLine("a*b\"c>d'e", results), "a<2A>b<22>c<3E>d'e");
    const LineEscapeRules trimmed{{}, true};
    EXPECT_EQ(escapeLine(" a b ", trimmed), "<20>a b<20>");
    EXPECT_EQ(escapeLine(" ", trimmed), "<20>");
    EXPECT_EQ(escapeLine(" a ", {}), " a ");
}

TEST(LineEscape, EveryByteRoundTripsUnderEveryRuleSet) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const LineEscapeRules ruleSets[] = {{}, {"*\">"}, {{}, true}, {"*\">", true}};
    for (const auto& rules : ruleSets) {
        for (const std::string& name : {all, std::string(" lead"), std::string("trail "), std::string("<<>>")}) {
            const std::string escaped = escapeLine(name, rules);
            EXPECT_EQ(escaped.find('\n'), std::string::npos);
            EXPECT_EQ(escaped.find('\r'), std::string::npos);
            EXPECT_EQ(unescapeLine(escaped), name);
        }
    }
}

TEST(LineEscape, MalformedSequencesStayLiteral) {
    EXPECT_EQ(unescapeLine("<0a>"), "<0a>");   // lower-case hex is not ours
    EXPECT_EQ(unescapeLine("<0G>"), "<0G>");
    EXPECT_EQ(unescapeLine("<41"), "<41");
    EXPECT_EQ(unescapeLine("<"), "<");
    EXPECT_EQ(unescapeLine("<<41>>"), "<A>");
    EXPECT_EQ(unescapeLine("<00>"), std::string(1, '\0'));
}
