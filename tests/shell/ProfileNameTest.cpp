#include "HousekeepingTestSupport.h"

#include "platform/MessageBoxes.h"
#include "shell/GroupMembers.h"
#include "shell/ProfileName.h"

#include <gtest/gtest.h>

using namespace halcyra;

namespace {

TEST(ProfileNameRule, TrimsBlanksAndControlCharactersAtBothEndsOnly) {
    EXPECT_EQ(trimProfileName(" \t\r\n Daily  backup \x01\x1F "), "Daily  backup");
    EXPECT_EQ(trimProfileName(" \t "), "");
    EXPECT_EQ(trimProfileName("\xC3\xA9"), "\xC3\xA9");
}

TEST(ProfileNameOrder, FollowsTheProfileListThenBytes) {
    std::vector<std::string> names{"b", "_x", "a", "A", "Ab", "a"};
    sortProfileNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "a", "Ab", "b", "_x"}));
    EXPECT_TRUE(sameProfileName("Daily", "DAILY"));
    EXPECT_FALSE(sameProfileName("Daily", "Daily "));
}

class NameLoopTest : public test::HousekeepingTest {
protected:
    std::optional<std::string> ask() { return askProfileName(ui, root, "Profile name", "Name"); }
};

TEST_F(NameLoopTest, BlankAnswerOrCancelEndsWithoutAnotherQuestion) {
    ui.queueText(std::string(" \t "));
    EXPECT_EQ(ask(), std::nullopt);
    ui.queueText(std::nullopt);
    EXPECT_EQ(ask(), std::nullopt);
    ASSERT_EQ(ui.requests().size(), 2u);
    EXPECT_EQ(ui.requests()[0].title, "Profile name");
    EXPECT_EQ(ui.requests()[0].text, "Name");
    EXPECT_EQ(ui.requests()[0].initial, "");
}

TEST_F(NameLoopTest, InvalidNamesShowTheirReasonAndAskAgain) {
    const std::vector<std::string> answers{"a/b", " -i ", ".", "Daily_EXCL"};
    for (const std::string& answer : answers) {
        ui.queueText(std::string(answer));
        ui.queueButton(ButtonOk);
    }
    ui.queueText(std::string("  Weekly "));
    EXPECT_EQ(ask(), "Weekly");
    const auto& requests = ui.requests();
    ASSERT_EQ(requests.size(), 9u);
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const auto& box = requests[2 * i + 1];
        EXPECT_EQ(box.text, profileNameProblem(trimProfileName(answers[i])));
        EXPECT_NE(box.text, "");
        EXPECT_EQ(box.messageKind, MessageKind::Error);
        EXPECT_EQ(box.buttons, ButtonOk);
    }
    EXPECT_EQ(requests[0].text, "Name");
    EXPECT_EQ(requests[1].text, InvalidProfileNameText);
    EXPECT_EQ(requests[8].kind, ScriptedUiServices::RequestKind::InputText);
    EXPECT_FALSE(ui.scriptMismatch());
}

TEST_F(NameLoopTest, NameTakenInAnotherCaseAsksAgainOnOkAndEndsOnCancel) {
    addProfile("Daily", 1);
    ui.queueText(std::string("DAILY"));
    ui.queueButton(ButtonOk);
    ui.queueText(std::string("Nightly"));
    EXPECT_EQ(ask(), "Nightly");
    ASSERT_EQ(ui.requests().size(), 3u);
    EXPECT_EQ(ui.requests()[1].text, ProfileNameTakenText);
    EXPECT_EQ(ui.requests()[1].buttons, ButtonOk | ButtonCancel);

    ui.queueText(std::string("daily"));
    ui.queueButton(ButtonCancel);
    EXPECT_EQ(ask(), std::nullopt);
    EXPECT_EQ(ui.requests().size(), 5u);
    EXPECT_FALSE(ui.scriptMismatch());
}

} // namespace
