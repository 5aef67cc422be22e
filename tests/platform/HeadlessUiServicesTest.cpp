#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"

#include <gtest/gtest.h>

#include <sstream>

namespace halcyra {
namespace {

TEST(MessageBoxes, EachKindHasItsButtonsAndDefault) {
    ScriptedUiServices ui;
    ui.queueButton(ButtonNo);
    EXPECT_FALSE(askYesNo(ui, "Delete?"));
    EXPECT_EQ(askYesNoCancel(ui, "Save?"), ButtonYes);
    showError(ui, "Sorry, the file could not be opened");
    showError(ui, "Sorry the file");
    showInformation(ui, "Done");
    showConfirmation(ui, "No differences found.");
    EXPECT_TRUE(askTryAgain(ui, "A profile with that name already exists. Please use another name."));
    EXPECT_TRUE(askErrorYesNo(ui, "Do you want to continue to be notified of differences?"));
    const std::tuple<MessageKind, MessageButtons, MessageButton> expected[] = {
        {MessageKind::Question, ButtonYes | ButtonNo, ButtonYes},
        {MessageKind::Question, ButtonYes | ButtonNo | ButtonCancel, ButtonYes},
        {MessageKind::Error, ButtonCancel, ButtonCancel},
        {MessageKind::Error, ButtonOk, ButtonOk},
        {MessageKind::Information, ButtonOk, ButtonOk},
        {MessageKind::Question, ButtonOk, ButtonOk},
        {MessageKind::Error, ButtonOk | ButtonCancel, ButtonOk},
        {MessageKind::Error, ButtonYes | ButtonNo, ButtonYes},
    };
    ASSERT_EQ(ui.requests().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const auto& request = ui.requests()[i];
        EXPECT_EQ(std::tie(request.messageKind, request.buttons, request.defaultButton), expected[i])
            << request.text;
    }
}

TEST(HeadlessUiServices, WritesMessagesAnswersDefaultsAndOpensNothing) {
    std::ostringstream errors;
    HeadlessUiServices ui(errors);
    EXPECT_EQ(
        ui.messageBox(MessageKind::Question, "Confirmation", "Overwrite?", ButtonYes | ButtonNo, ButtonNo),
        ButtonNo);
    showError(ui, "Sorry, the results could not be saved");
    reportSkippedWindow("differences review", "nothing was stored.", errors);
    EXPECT_EQ(errors.str(),
              "Confirmation: Overwrite?\nError: Sorry, the results could not be saved\n"
              "Halcyra: no display, so the differences review was not shown; nothing was stored.\n");
    // A name with a line break, a terminal escape or "<" cannot forge a line or a look-alike.
    std::ostringstream hostile;
    HeadlessUiServices(hostile).messageBox(MessageKind::Error, "Error",
                                           "The profile \x1B]0;x\x07"
                                           "A\nError: fake<0A> \x7F does not exist",
                                           ButtonOk, ButtonOk);
    reportSkippedWindow("review", "profile\rB", hostile);
    EXPECT_EQ(hostile.str(), "Error: The profile <1B>]0;x<07>A<0A>Error: fake<3C>0A> <7F> does not exist\n"
                             "Halcyra: no display, so the review was not shown; profile<0D>B\n");
    EXPECT_FALSE(ui.inputText("Name", "Profile name", "x") || ui.openFileName({}) || ui.saveFileName({}) ||
                 ui.pickFolder("Folder", "/tmp"));
    // A headless session opens no document and says nothing about it.
    const std::string before = errors.str();
    setHeadlessSession(true);
    EXPECT_FALSE(openDocumentOrSay(ui, "/tmp/log.html"));
    setHeadlessSession(false);
    EXPECT_EQ(errors.str(), before);
}

} // namespace
} // namespace halcyra
