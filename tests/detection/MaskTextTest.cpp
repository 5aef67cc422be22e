#include "detection/CommaText.h"
#include "detection/MaskList.h"

#include <gtest/gtest.h>

#include <random>

using namespace halcyra;
using Items = std::vector<std::string>;

TEST(CommaText, BlanksAndCommasSeparateUnquotedItems) {
    EXPECT_EQ(splitCommaText("*.doc, *.xls"), (Items{"*.doc", "*.xls"}));
    EXPECT_EQ(splitCommaText("My *.doc"), (Items{"My", "*.doc"}));
    EXPECT_EQ(splitCommaText("\"My *.doc\""), (Items{"My *.doc"}));
    EXPECT_EQ(splitCommaText(" \t\r\n*.a \x01,\x1F *.b "), (Items{"*.a", "*.b"}));
    EXPECT_EQ(splitCommaText(""), Items{});
    EXPECT_EQ(splitCommaText("   "), Items{});
}

TEST(CommaText, QuotesEmptyItemsAndTrailingComma) {
    EXPECT_EQ(splitCommaText("a,"), (Items{"a", ""}));
    EXPECT_EQ(splitCommaText("a, "), (Items{"a"})); // only a comma at the very end adds an item
    EXPECT_EQ(splitCommaText("a,,b"), (Items{"a", "", "b"}));
    EXPECT_EQ(splitCommaText(",a"), (Items{"", "a"}));
    EXPECT_EQ(splitCommaText("\"say \"\"hi\"\", ok\",x"), (Items{"say \"hi\", ok", "x"}));
    EXPECT_EQ(splitCommaText("\"ab\"cd"), (Items{"ab", "cd"}));
    EXPECT_EQ(splitCommaText("\"open, to the end"), (Items{"open, to the end"}));
}

TEST(CommaText, JoinIsTheExactInverseOfSplit) {
    EXPECT_EQ(joinCommaText({"*.doc", "My *.doc", "", "a\"b"}), "*.doc,\"My *.doc\",\"\",\"a\"\"b\"");
    std::mt19937 random(3);
    const std::string alphabet = std::string("a*. ,\"\t\x01\x7F\xC3", 10) + std::string(1, '\0');
    for (int round = 0; round < 3000; ++round) {
        Items items(random() % 5);
        for (auto& item : items)
            for (int length = static_cast<int>(random() % 5); length > 0; --length)
                item += alphabet[random() % alphabet.size()];
        ASSERT_EQ(splitCommaText(joinCommaText(items)), items) << joinCommaText(items);
    }
}

TEST(MaskList, StarDotStarIncludesNamesWithoutDot) {
    MaskList include;
    EXPECT_EQ(include.assign("*.*", true), "");
    EXPECT_EQ(include.texts(), Items{"*"});
    EXPECT_TRUE(include.matchesAny("README"));
    EXPECT_EQ(include.assign("*.txt, *.*", true), "");
    EXPECT_TRUE(include.matchesAny("README"));
    EXPECT_EQ(include.assign("*, *.*", true), "");
    EXPECT_EQ(include.texts(), (Items{"*", "*.*"}));

    MaskList exclude;
    exclude.assign("*.*", false);
    EXPECT_TRUE(exclude.matchesAny("a.txt"));
    EXPECT_FALSE(exclude.matchesAny("README"));
}

TEST(MaskList, CaseInsensitiveDuplicatesAndEmptyList) {
    MaskList masks;
    masks.assign("*.TXT,*.txt,*.JPG", false);
    EXPECT_EQ(masks.texts(), (Items{"*.JPG", "*.TXT"}));
    EXPECT_TRUE(masks.matchesAny("photo.jpg"));
    masks.assign("", true);
    EXPECT_TRUE(masks.empty());
    EXPECT_FALSE(masks.matchesAny("anything"));
    EXPECT_FALSE(masks.matchesAny(""));
}

TEST(MaskList, InvalidMaskIsReportedWithItsPosition) {
    EXPECT_EQ(invalidMaskText("abc[de"), "'abc[de' is an invalid mask at (4)");
    EXPECT_EQ(invalidMaskText("[a]x["), "'[a]x[' is an invalid mask at (5)");
    EXPECT_EQ(invalidMaskText("[a-z]*"), "");
    MaskList masks;
    EXPECT_EQ(masks.assign("*.txt, abc[de, [x", true), "'[x' is an invalid mask at (1)");
    EXPECT_TRUE(masks.matchesAny("a.txt")); // the valid masks still work
}
