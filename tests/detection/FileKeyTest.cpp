#include "detection/FileKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

using namespace halcyra;

namespace {

std::vector<std::string> sorted(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end(), FileKeyLess{});
    return keys;
}

} // namespace

TEST(FileKey, NamesDifferingOnlyInCaseAreTwoKeys) {
    KeySet keys{"/A.txt", "/a.txt", "/a.txt"};
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(*keys.begin(), "/A.txt");
    EXPECT_EQ(keys.count("/a.TXT"), 0u); // look-ups are exact
}

TEST(FileKey, CaseIsIgnoredBeforeItBreaksTies) {
    EXPECT_LT(compareFileKeys("/abc", "/ABD"), 0);
    EXPECT_LT(compareFileKeys("/ABC", "/abd"), 0);
    EXPECT_LT(compareFileKeys("/ABC", "/abc"), 0);
    EXPECT_EQ(compareFileKeys("/x/abc", "/x/abc"), 0);
    EXPECT_LT(compareFileKeys("/a", "/ab"), 0);
    EXPECT_LT(compareFileKeys("/z\x80", "/z\xFF"), 0); // bytes compare unsigned
}

TEST(FileKey, FoldersKeepTheirEntriesDirectlyBelowThem) {
    EXPECT_EQ(sorted({"/a/", "/A/x/", "/B/", "/a.txt", "/A/", "/a/y/", "/a b/"}),
              (std::vector<std::string>{"/A/", "/A/x/", "/a/", "/a/y/", "/a b/", "/a.txt", "/B/"}));
    // A file in a folder sorts before a sibling whose name merely extends the folder's name.
    EXPECT_EQ(sorted({"/ab/c", "/a/zz", "/a-/b", "/A/q"}),
              (std::vector<std::string>{"/A/q", "/a/zz", "/a-/b", "/ab/c"}));
}

TEST(FileKey, OrderIsAStrictWeakOrderWithOnlyEqualKeysEquivalent) {
    std::mt19937 random(7);
    const std::string alphabet = "aAbB/._\xC3\xA9";
    std::vector<std::string> keys;
    for (int i = 0; i < 300; ++i) {
        std::string key;
        const int length = static_cast<int>(random() % 7);
        for (int j = 0; j < length; ++j)
            key += alphabet[random() % alphabet.size()];
        keys.push_back(key);
    }
    for (const auto& a : keys) {
        EXPECT_EQ(compareFileKeys(a, a), 0);
        for (const auto& b : keys) {
            const int ab = compareFileKeys(a, b);
            ASSERT_EQ(ab, -compareFileKeys(b, a)) << a << " | " << b;
            ASSERT_EQ(ab == 0, a == b) << a << " | " << b;
        }
    }
    for (std::size_t i = 0; i < 60; ++i)
        for (std::size_t j = 0; j < 60; ++j)
            for (std::size_t k = 0; k < 60; ++k)
                if (compareFileKeys(keys[i], keys[j]) < 0 && compareFileKeys(keys[j], keys[k]) < 0) {
                    ASSERT_LT(compareFileKeys(keys[i], keys[k]), 0)
                        << keys[i] << " " << keys[j] << " " << keys[k];
                }
}
