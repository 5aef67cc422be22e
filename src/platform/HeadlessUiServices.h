#pragma once

#include "platform/UiServices.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace halcyra {

// UI services for a run without a display (a scheduled run): every message box text goes to `errors`
// (standard error by default) as one line (writeMessageLine) and is answered with the box's default button;
// text, file and folder requests
// are answered as cancelled; no document is opened. The clipboard is kept in memory.
class HeadlessUiServices : public UiServices {
public:
    HeadlessUiServices();
    explicit HeadlessUiServices(std::ostream& errors);

    MessageButton messageBox(MessageKind kind, std::string_view title, std::string_view text,
                             MessageButtons buttons, MessageButton defaultButton) override;
    std::optional<std::string> inputText(std::string_view title, std::string_view prompt,
                                         std::string_view initial) override;
    std::optional<std::string> openFileName(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileName(const FileDialogRequest& request) override;
    std::optional<std::string> pickFolder(std::string_view title, std::string_view startFolder) override;
    bool openDocument(std::string_view pathOrUrl, std::string& whyNot) override;
    void setClipboardText(std::string_view text) override { m_clipboard = text; }
    std::string clipboardText() override { return m_clipboard; }

private:
    std::ostream& m_errors;
    std::string m_clipboard;
};

// Writes `title` + ": " + `text` as one line. Control characters (ESC, CR and LF among them) and "<" in
// `text` are written as "<HH>", as the data files write names, so that a name cannot break the line, forge
// another or send terminal commands.
void writeMessageLine(std::ostream& errors, std::string_view title, std::string_view text);

// The installed UI services, or, when none are installed, services that write to standard error and answer
// with the defaults.
UiServices& activeUiServices();

// Whether the program runs without a person at the desktop (no display could be opened). Windows that need a
// person are then not shown; their entries answer as cancelled. False until set at start-up.
bool isHeadlessSession();
void setHeadlessSession(bool headless);

// Writes the line that says a window needing a person was skipped and what that means for the run.
void reportSkippedWindow(std::string_view window, std::string_view consequence, std::ostream& errors);
void reportSkippedWindow(std::string_view window, std::string_view consequence);

} // namespace halcyra
