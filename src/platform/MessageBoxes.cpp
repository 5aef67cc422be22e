#include "platform/MessageBoxes.h"

#include "platform/HeadlessUiServices.h"

#include <string>

namespace halcyra {

namespace {

constexpr std::string_view kInformationTitle = "Information";
constexpr std::string_view kConfirmationTitle = "Confirmation";
constexpr std::string_view kErrorTitle = "Error";

MessageButton ask(UiServices& ui, MessageKind kind, std::string_view title, std::string_view text,
                  MessageButtons buttons) {
    return ui.messageBox(kind, title, text, buttons, defaultButtonOf(buttons));
}

} // namespace

MessageButton defaultButtonOf(MessageButtons buttons) {
    for (MessageButton candidate :
         {ButtonOk, ButtonYes, ButtonRetry, ButtonCancel, ButtonNo, ButtonAbort, ButtonIgnore})
        if ((buttons & candidate) != 0)
            return candidate;
    return NoButton;
}

bool askYesNo(UiServices& ui, std::string_view text) {
    return ask(ui, MessageKind::Question, kConfirmationTitle, text, ButtonYes | ButtonNo) == ButtonYes;
}

MessageButton askYesNoCancel(UiServices& ui, std::string_view text) {
    return ask(ui, MessageKind::Question, kConfirmationTitle, text, ButtonYes | ButtonNo | ButtonCancel);
}

void showError(UiServices& ui, std::string_view text) {
    const bool sorry = text.substr(0, 10) == "Sorry, the";
    ask(ui, MessageKind::Error, kErrorTitle, text, sorry ? ButtonCancel : ButtonOk);
}

void showInformation(UiServices& ui, std::string_view text) {
    ask(ui, MessageKind::Information, kInformationTitle, text, ButtonOk);
}

void showConfirmation(UiServices& ui, std::string_view text) {
    ask(ui, MessageKind::Question, kConfirmationTitle, text, ButtonOk);
}

bool askTryAgain(UiServices& ui, std::string_view text) {
    return ask(ui, MessageKind::Error, kErrorTitle, text, ButtonOk | ButtonCancel) == ButtonOk;
}

bool askErrorYesNo(UiServices& ui, std::string_view text) {
    return ask(ui, MessageKind::Error, kErrorTitle, text, ButtonYes | ButtonNo) == ButtonYes;
}

bool openDocumentOrSay(UiServices& ui, std::string_view pathOrUrl) {
    std::string whyNot;
    if (ui.openDocument(pathOrUrl, whyNot))
        return true;
    if (!isHeadlessSession())
        showError(ui, "\"" + std::string(pathOrUrl) + "\" could not be opened. " + whyNot);
    return false;
}

} // namespace halcyra
