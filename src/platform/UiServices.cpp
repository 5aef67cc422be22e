#include "platform/UiServices.h"

#include <algorithm>
#include <utility>

namespace halcyra {

namespace {
UiServices* g_services = nullptr;
} // namespace

ScreenPoint centredInWorkArea(const ScreenRect& workArea, int dialogWidth, int dialogHeight) {
    int x = workArea.width / 2 - dialogWidth / 2;
    int y = workArea.height / 2 - dialogHeight / 2;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    return {workArea.left + x, workArea.top + y};
}

std::vector<std::string> UiServices::openFileNames(const FileDialogRequest& request) {
    std::optional<std::string> file = openFileName(request);
    return file ? std::vector<std::string>{std::move(*file)} : std::vector<std::string>{};
}

UiServices* currentUiServices() {
    return g_services;
}

void setCurrentUiServices(UiServices* services) {
    g_services = services;
}

void ScriptedUiServices::queueButton(MessageButton button) {
    m_answers.push_back({true, button, std::nullopt});
}

void ScriptedUiServices::queueText(std::optional<std::string> text) {
    m_answers.push_back({false, NoButton, std::move(text)});
}

std::optional<std::string> ScriptedUiServices::nextText() {
    if (m_answers.empty())
        return std::nullopt;
    Answer answer = std::move(m_answers.front());
    m_answers.pop_front();
    if (answer.isButton) {
        m_mismatch = true;
        return std::nullopt;
    }
    return std::move(answer.text);
}

MessageButton ScriptedUiServices::messageBox(MessageKind kind, std::string_view title, std::string_view text,
                                             MessageButtons buttons, MessageButton defaultButton) {
    m_requests.push_back(
        {RequestKind::MessageBox, kind, std::string(title), std::string(text), {}, buttons, defaultButton});
    if (m_answers.empty())
        return defaultButton;
    const Answer answer = std::move(m_answers.front());
    m_answers.pop_front();
    if (!answer.isButton || (answer.button & buttons) == 0) {
        m_mismatch = true;
        return defaultButton;
    }
    return answer.button;
}

std::optional<std::string> ScriptedUiServices::inputText(std::string_view title, std::string_view prompt,
                                                         std::string_view initial) {
    m_requests.push_back({RequestKind::InputText,
                          {},
                          std::string(title),
                          std::string(prompt),
                          std::string(initial),
                          0,
                          NoButton});
    return nextText();
}

std::optional<std::string> ScriptedUiServices::openFileName(const FileDialogRequest& request) {
    m_requests.push_back(
        {RequestKind::OpenFile, {}, request.title, request.filter, request.initialPath, 0, NoButton});
    return nextText();
}

std::vector<std::string> ScriptedUiServices::openFileNames(const FileDialogRequest& request) {
    std::vector<std::string> files;
    const std::optional<std::string> answer = openFileName(request);
    for (std::size_t at = 0; answer && at <= answer->size();) {
        const std::size_t end = std::min(answer->find('\n', at), answer->size());
        if (end > at)
            files.push_back(answer->substr(at, end - at));
        at = end + 1;
    }
    return files;
}

std::optional<std::string> ScriptedUiServices::saveFileName(const FileDialogRequest& request) {
    m_requests.push_back(
        {RequestKind::SaveFile, {}, request.title, request.filter, request.initialPath, 0, NoButton});
    return nextText();
}

std::optional<std::string> ScriptedUiServices::pickFolder(std::string_view title,
                                                          std::string_view startFolder) {
    m_requests.push_back(
        {RequestKind::PickFolder, {}, std::string(title), {}, std::string(startFolder), 0, NoButton});
    return nextText();
}

bool ScriptedUiServices::openDocument(std::string_view pathOrUrl, std::string& whyNot) {
    m_requests.push_back({RequestKind::OpenDocument, {}, {}, std::string(pathOrUrl), {}, 0, NoButton});
    whyNot = m_openSucceeds ? std::string() : std::string(OpenFailureText);
    return m_openSucceeds;
}

} // namespace halcyra
