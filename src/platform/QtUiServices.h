#pragma once

#include "platform/UiServices.h"

class QWidget;

namespace halcyra {

// UI services shown with Qt Widgets, each dialog modal over the window the user works in. Message boxes
// show their text as plain text; file names go between the dialogs and the program as local 8-bit bytes.
class QtUiServices : public UiServices {
public:
    MessageButton messageBox(MessageKind kind, std::string_view title, std::string_view text,
                             MessageButtons buttons, MessageButton defaultButton) override;
    std::optional<std::string> inputText(std::string_view title, std::string_view prompt,
                                         std::string_view initial) override;
    std::optional<std::string> openFileName(const FileDialogRequest& request) override;
    std::vector<std::string> openFileNames(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileName(const FileDialogRequest& request) override;
    std::optional<std::string> pickFolder(std::string_view title, std::string_view startFolder) override;
    bool openDocument(std::string_view pathOrUrl, std::string& whyNot) override;
    void setClipboardText(std::string_view text) override;
    std::string clipboardText() override;

    // The window dialogs are shown over: the active modal window, else the active window (may be null).
    static QWidget* dialogParent();
};

} // namespace halcyra
