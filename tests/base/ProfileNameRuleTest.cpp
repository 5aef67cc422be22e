#include "base/ProfileNameRule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace halcyra;

namespace {

std::string euros(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "\xE2\x82\xAC";
    return text;
}

TEST(ProfileNameRule, AcceptsNamesWhoseDataFilesBelongToThemAlone) {
    for (const std::string& good : std::vector<std::string>{
             "Daily", "My photos (2024)", "-ii", "i", "-", "..a", "...", "\xC3\xA9t\xC3\xA9",
             "\xFF\xFE not UTF-8", std::string(200, 'x'), euros(66), "A_exc", "A_excl2", "A_excl_dir2",
             "A_excl_di", "_exclusive", "excl", "Halcyra", "~ tilde and blank"})
        EXPECT_EQ(profileNameProblem(good), "") << good;
}

TEST(ProfileNameRule, EachRefusalNamesItsOwnReason) {
    const std::string characters(InvalidProfileNameText);
    struct Case {
        std::string name;
        std::string reasonPart; // a part of the text only this reason gives
    };
    const std::vector<Case> cases{
        {"", "empty"},
        {"a\\b", characters},
        {"a/b", characters},
        {"a:b", characters},
        {"a*", characters},
        {"a?", characters},
        {"a\"b", characters},
        {"a<b", characters},
        {"a>b", characters},
        {"a|b", characters},
        {"a/\tb", characters},
        {"tab\there", "control characters"},
        {"line\nbreak", "control characters"},
        {std::string("nul\0x", 5), "control characters"},
        {"del\x7F", "control characters"},
        {"unit\x1F", "control characters"},
        {"\x01", "control characters"},
        {".", "\".\" cannot"},
        {"..", "\"..\" cannot"},
        {"-i", "\"-i\""},
        {"-I", "\"-I\""},
        {std::string(201, 'x'), "200 bytes"},
        {euros(67), "200 bytes"},
        {"A_excl", "_excl_dir"},
        {"A_EXCL", "_excl_dir"},
        {"A_Excl_Dir", "_excl_dir"},
        {"_excl", "_excl_dir"},
        {"Halcyra_Excl", "_excl_dir"},
        {"x_excl_DIR", "_excl_dir"},
    };
    for (const Case& c : cases) {
        const std::string problem = profileNameProblem(c.name);
        EXPECT_NE(problem.find(c.reasonPart), std::string::npos) << c.name << " -> " << problem;
        EXPECT_EQ(problem == characters, c.reasonPart == characters) << c.name;
    }
}

} // namespace
