#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// A rectangle in screen pixels.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// Top-left corner that centres a dialog of the given size inside `workArea` (halves truncated toward
// zero). A dialog larger than the work area keeps its top-left corner inside it, so its title stays
// reachable.
ScreenPoint centredInWorkArea(const ScreenRect& workArea, int dialogWidth, int dialogHeight);

enum class MessageKind { Information, Warning, Error, Question };

// Buttons of a message box; a box shows a set of them (bitwise or).
enum MessageButton : unsigned {
    NoButton = 0,
    ButtonOk = 0x01,
    ButtonCancel = 0x02,
    ButtonYes = 0x04,
    ButtonNo = 0x08,
    ButtonAbort = 0x10,
    ButtonRetry = 0x20,
    ButtonIgnore = 0x40,
};
using MessageButtons = unsigned;

struct FileDialogRequest {
    std::string title;
    std::string initialPath;   // folder, or folder and file name, to open on
    std::string filter;        // "Description (*.ext)" entries separated by ";;"
    std::string defaultSuffix; // added to a typed name without one ("reg", no dot)
};

// Everything the program asks of the person at the desktop. The interactive implementation shows Qt dialogs;
// the headless one writes message texts to standard error and answers with defaults; tests script the
// answers. Texts are shown as plain text, never interpreted as markup.
class UiServices {
public:
    virtual ~UiServices() = default;

    // Shows a message box; returns the button chosen (`defaultButton` when the box is dismissed otherwise
    // than by a button of `buttons`, as in a headless run).
    virtual MessageButton messageBox(MessageKind kind, std::string_view title, std::string_view text,
                                     MessageButtons buttons, MessageButton defaultButton) = 0;
    // Asks for one line of text; nothing when cancelled.
    virtual std::optional<std::string> inputText(std::string_view title, std::string_view prompt,
                                                 std::string_view initial) = 0;
    // Asks for an existing file to open; nothing when cancelled.
    virtual std::optional<std::string> openFileName(const FileDialogRequest& request) = 0;
    // Asks for one or more existing files to open, in the dialog's order; empty when cancelled. Services
    // that cannot offer several files ask with openFileName.
    virtual std::vector<std::string> openFileNames(const FileDialogRequest& request);
    // Asks for a file name to save to; nothing when cancelled.
    virtual std::optional<std::string> saveFileName(const FileDialogRequest& request) = 0;
    // Asks for an existing folder, opening on `startFolder` when it is not empty, the dialog centred in the
    // work area of its screen (centredInWorkArea); only folders can be confirmed. Returns the chosen folder
    // as an absolute path, or nothing when cancelled or when no dialog can be shown.
    virtual std::optional<std::string> pickFolder(std::string_view title, std::string_view startFolder) = 0;
    // Opens a file or URL with the desktop's handler; false with `whyNot` set when that could not be
    // started. Callers report the failure through openDocumentOrSay.
    virtual bool openDocument(std::string_view pathOrUrl, std::string& whyNot) = 0;
    virtual void setClipboardText(std::string_view text) = 0;
    virtual std::string clipboardText() = 0;
};

// The services the running program installed (null until then). Not owned.
UiServices* currentUiServices();
void setCurrentUiServices(UiServices* services);

// Test double: records every request and answers from a queue, in order. A message box takes the next
// queued button, a text or file or folder request the next queued text (nothing = cancel). With the queue
// empty, a message box answers its default button and every dialog is cancelled.
class ScriptedUiServices : public UiServices {
public:
    enum class RequestKind { MessageBox, InputText, OpenFile, SaveFile, PickFolder, OpenDocument };

    struct Request {
        RequestKind kind{};
        MessageKind messageKind{};
        std::string title;
        std::string text;    // message text, prompt, filter, or the document
        std::string initial; // initial text, path or start folder
        MessageButtons buttons = 0;
        MessageButton defaultButton = NoButton;
    };

    void queueButton(MessageButton button);
    void queueText(std::optional<std::string> text);
    // Answers still queued.
    std::size_t pendingAnswers() const { return m_answers.size(); }

    const std::vector<Request>& requests() const { return m_requests; }
    // Whether an answer of the wrong kind was met (the script does not fit the prompts).
    bool scriptMismatch() const { return m_mismatch; }
    // Whether openDocument succeeds; a failure gives OpenFailureText as its reason.
    void setOpenDocumentSucceeds(bool succeeds) { m_openSucceeds = succeeds; }
    static constexpr std::string_view OpenFailureText = "No program could open it.";

    MessageButton messageBox(MessageKind kind, std::string_view title, std::string_view text,
                             MessageButtons buttons, MessageButton defaultButton) override;
    std::optional<std::string> inputText(std::string_view title, std::string_view prompt,
                                         std::string_view initial) override;
    std::optional<std::string> openFileName(const FileDialogRequest& request) override;
    // A queued text answers with one file per line.
    std::vector<std::string> openFileNames(const FileDialogRequest& request) override;
    std::optional<std::string> saveFileName(const FileDialogRequest& request) override;
    std::optional<std::string> pickFolder(std::string_view title, std::string_view startFolder) override;
    bool openDocument(std::string_view pathOrUrl, std::string& whyNot) override;
    void setClipboardText(std::string_view text) override { m_clipboard = text; }
    std::string clipboardText() override { return m_clipboard; }

private:
    struct Answer {
        bool isButton = false;
        MessageButton button = NoButton;
        std::optional<std::string> text;
    };

    std::optional<std::string> nextText();

    std::deque<Answer> m_answers;
    std::vector<Request> m_requests;
    std::string m_clipboard;
    bool m_mismatch = false;
    bool m_openSucceeds = true;
};

} // namespace halcyra
