#pragma once

#include "platform/UiServices.h"

#include <QString>

#include <map>
#include <string>

class QFileDialog;
class QWidget;

namespace halcyra {

// UI services shown with Qt Widgets, each dialog modal over the window the user works in. Message boxes
// show their text as plain text; file names go between the dialogs and the program as local 8-bit bytes.
// A file or folder dialog that is not given a folder opens in the user's home folder, then where the same
// dialog (the same kind with the same filter; a folder picker by its title) was last confirmed.
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

private:
    // Sets the dialog's title, filters and suffix, and opens it on the request's folder or, without one,
    // on the folder remembered under `key`.
    void prepareFileDialog(QFileDialog& dialog, const FileDialogRequest& request, const std::string& key);
    // Runs the dialog; the chosen files' folder is remembered under `key`. Empty when cancelled.
    QStringList runFileDialog(QFileDialog& dialog, const std::string& key);
    QString rememberedFolder(const std::string& key) const;

    std::map<std::string, QString> m_lastFolders;
};

} // namespace halcyra
