#pragma once

#include "platform/UiServices.h"

#include <string_view>

namespace halcyra {

// The program's standard message boxes. Each names its kind in the title ("Information", "Confirmation",
// "Error"); the default button is OK when the box has one, else Yes, else its only button.

// A question with Yes and No; true for Yes.
bool askYesNo(UiServices& ui, std::string_view text);
// A question with Yes, No and Cancel; returns the button chosen.
MessageButton askYesNoCancel(UiServices& ui, std::string_view text);
// A failure. A text that begins "Sorry, the" gets a single Cancel button, any other text OK.
void showError(UiServices& ui, std::string_view text);
// A success note with OK.
void showInformation(UiServices& ui, std::string_view text);
// A confirmation box with a single OK button.
void showConfirmation(UiServices& ui, std::string_view text);
// An error the user can correct at once: OK (try again) and Cancel; true for OK.
bool askTryAgain(UiServices& ui, std::string_view text);
// An error box that asks Yes or No; true for Yes.
bool askErrorYesNo(UiServices& ui, std::string_view text);

// Opens `pathOrUrl` with the desktop's handler. When that cannot be done, an error box names it and says
// why; a headless session opens nothing and shows nothing. True when it was opened.
bool openDocumentOrSay(UiServices& ui, std::string_view pathOrUrl);

// The default button of a box with `buttons`.
MessageButton defaultButtonOf(MessageButtons buttons);

} // namespace halcyra
