#include "platform/UiServices.h"

#include <gtest/gtest.h>

using namespace halcyra;

TEST(CentredInWorkArea, CountsTheWorkAreaOrigin) {
    // A panel on the left and at the top moves the work area's origin.
    EXPECT_EQ(centredInWorkArea({100, 40, 1820, 1040}, 400, 300).x, 100 + 910 - 200);
    EXPECT_EQ(centredInWorkArea({100, 40, 1820, 1040}, 400, 300).y, 40 + 520 - 150);
    // Halves truncate.
    EXPECT_EQ(centredInWorkArea({0, 0, 1001, 601}, 301, 201).x, 500 - 150);
    EXPECT_EQ(centredInWorkArea({0, 0, 1001, 601}, 301, 201).y, 300 - 100);
    // A second screen to the left has negative coordinates.
    EXPECT_EQ(centredInWorkArea({-1280, 0, 1280, 1024}, 280, 24).x, -1280 + 640 - 140);
    // Larger than the work area: the top-left corner stays inside.
    EXPECT_EQ(centredInWorkArea({10, 20, 300, 200}, 500, 400).x, 10);
    EXPECT_EQ(centredInWorkArea({10, 20, 300, 200}, 500, 400).y, 20);
}

TEST(ScriptedUiServices, AnswersInOrderAndRecordsEveryRequest) {
    ScriptedUiServices ui;
    ui.queueButton(ButtonNo);
    ui.queueText("typed");
    ui.queueText(std::nullopt);
    EXPECT_EQ(ui.messageBox(MessageKind::Question, "T", "Sure?", ButtonYes | ButtonNo, ButtonYes), ButtonNo);
    EXPECT_EQ(ui.inputText("T", "Name:", "old"), "typed");
    EXPECT_EQ(ui.pickFolder("Pick", "/start"), std::nullopt);
    // Queue empty: default button, dialogs cancelled.
    EXPECT_EQ(ui.messageBox(MessageKind::Warning, "T", "Go on?", ButtonOk | ButtonCancel, ButtonCancel),
              ButtonCancel);
    EXPECT_EQ(ui.saveFileName({"Save", "/tmp/x.reg", "Registry files (*.reg)", "reg"}), std::nullopt);
    std::string whyNot = "stale";
    EXPECT_TRUE(ui.openDocument("https://example.org/", whyNot));
    EXPECT_EQ(whyNot, "");
    ui.setClipboardText("d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(ui.clipboardText(), "d41d8cd98f00b204e9800998ecf8427e");

    ASSERT_EQ(ui.requests().size(), 6u);
    EXPECT_EQ(ui.requests()[0].text, "Sure?");
    EXPECT_EQ(ui.requests()[0].buttons, unsigned(ButtonYes | ButtonNo));
    EXPECT_EQ(ui.requests()[1].initial, "old");
    EXPECT_EQ(ui.requests()[2].kind, ScriptedUiServices::RequestKind::PickFolder);
    EXPECT_EQ(ui.requests()[2].initial, "/start");
    EXPECT_EQ(ui.requests()[4].initial, "/tmp/x.reg");
    EXPECT_EQ(ui.requests()[5].text, "https://example.org/");
    EXPECT_FALSE(ui.scriptMismatch());
}

TEST(ScriptedUiServices, FlagsAnswersThatDoNotFitThePrompt) {
    ScriptedUiServices ui;
    ui.queueButton(ButtonRetry); // not on the box
    EXPECT_EQ(ui.messageBox(MessageKind::Error, "T", "x", ButtonOk, ButtonOk), ButtonOk);
    EXPECT_TRUE(ui.scriptMismatch());

    ScriptedUiServices other;
    other.queueButton(ButtonOk); // a button where a text is asked
    EXPECT_EQ(other.inputText("T", "p", ""), std::nullopt);
    EXPECT_TRUE(other.scriptMismatch());
}
