#include "shell/CommandLine.h"

#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

using Runs = std::vector<ProfileRunRequest>;

TEST(CommandLine, SwitchMakesEveryLaterProfileInteractive) {
    EXPECT_EQ(profileRunsOf({"A", "-i", "B", "C"}), (Runs{{"A", true}, {"B", false}, {"C", false}}));
    EXPECT_EQ(profileRunsOf({"A", "-I", "B"}), (Runs{{"A", true}, {"B", false}}));
    // There is no switch back, and a second switch changes nothing.
    EXPECT_EQ(profileRunsOf({"-i", "A", "-i", "B"}), (Runs{{"A", false}, {"B", false}}));
    EXPECT_EQ(profileRunsOf({"-i"}), Runs{});
    EXPECT_EQ(profileRunsOf({}), Runs{});
}

TEST(CommandLine, EveryOtherWordIsAProfileNameAsGiven) {
    // Words the toolkit would take for its own options, near misses of the switch, blanks and empty words.
    EXPECT_EQ(profileRunsOf({"-style", "-reverse", "--i", "-i ", "i", "-ii", " A ", ""}),
              (Runs{{"-style", true},
                    {"-reverse", true},
                    {"--i", true},
                    {"-i ", true},
                    {"i", true},
                    {"-ii", true},
                    {" A ", true},
                    {"", true}}));
    EXPECT_TRUE(isInteractiveSwitch("-i"));
    EXPECT_TRUE(isInteractiveSwitch("-I"));
    EXPECT_FALSE(isInteractiveSwitch("/i"));
}

TEST(CommandLine, ProfileKeyNeverAddressesAKeyBelowAProfile) {
    EXPECT_EQ(profileKeyOf("Daily"), std::string(SettingsRootKey) + "\\Daily");
    EXPECT_EQ(profileKeyOf(" My Profile "), std::string(SettingsRootKey) + "\\ My Profile ");
    EXPECT_EQ(profileKeyOf(".."), std::string(SettingsRootKey) + "\\..");
    EXPECT_FALSE(profileKeyOf("Daily\\Sub"));
    EXPECT_FALSE(profileKeyOf("\\"));
}

TEST(CommandLine, StartPlanFollowsTheDisplay) {
    // No display: profiles run offscreen; without profiles there is nothing to do.
    StartPlan plan = planStart({true, "", "", std::nullopt});
    EXPECT_FALSE(plan.refuse);
    EXPECT_EQ(plan.qtPlatform, "offscreen");
    EXPECT_TRUE(planStart({false, "", "", std::nullopt}).refuse);
    // A named display is tried first; one that cannot be opened falls back to offscreen.
    plan = planStart({false, ":0", "", std::nullopt});
    EXPECT_FALSE(plan.refuse);
    EXPECT_EQ(plan.qtPlatform, "xcb;offscreen");
    EXPECT_EQ(planStart({true, "", "wayland-0", std::nullopt}).qtPlatform, "wayland;xcb;offscreen");
    // The user's own choice of platform stands; whether it has a display is found out after the start.
    plan = planStart({false, "", "", std::string("vnc")});
    EXPECT_FALSE(plan.refuse);
    EXPECT_FALSE(plan.qtPlatform);
    EXPECT_TRUE(planStart({false, "", "", std::string()}).refuse); // set but empty counts as unset
    EXPECT_TRUE(isHeadlessPlatform("offscreen"));
    EXPECT_TRUE(isHeadlessPlatform("minimal"));
    EXPECT_FALSE(isHeadlessPlatform("xcb"));
}

} // namespace
} // namespace halcyra
