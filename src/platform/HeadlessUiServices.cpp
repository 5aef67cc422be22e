#include "platform/HeadlessUiServices.h"

#include "base/LineEscape.h"

#include <iostream>

namespace halcyra {

namespace {
bool g_headless = false;
} // namespace

HeadlessUiServices::HeadlessUiServices() : m_errors(std::cerr) {}

HeadlessUiServices::HeadlessUiServices(std::ostream& errors) : m_errors(errors) {}

UiServices& activeUiServices() {
    if (UiServices* ui = currentUiServices())
        return *ui;
    static HeadlessUiServices fallback;
    return fallback;
}

MessageButton HeadlessUiServices::messageBox(MessageKind, std::string_view title, std::string_view text,
                                             MessageButtons, MessageButton defaultButton) {
    writeMessageLine(m_errors, title, text);
    return defaultButton;
}

std::optional<std::string> HeadlessUiServices::inputText(std::string_view, std::string_view,
                                                         std::string_view) {
    return std::nullopt;
}

std::optional<std::string> HeadlessUiServices::openFileName(const FileDialogRequest&) {
    return std::nullopt;
}

std::optional<std::string> HeadlessUiServices::saveFileName(const FileDialogRequest&) {
    return std::nullopt;
}

std::optional<std::string> HeadlessUiServices::pickFolder(std::string_view, std::string_view) {
    return std::nullopt;
}

bool HeadlessUiServices::openDocument(std::string_view, std::string& whyNot) {
    whyNot = "There is no display.";
    return false;
}

void writeMessageLine(std::ostream& errors, std::string_view title, std::string_view text) {
    errors << title << ": " << escapeLine(text) << std::endl;
}

bool isHeadlessSession() {
    return g_headless;
}

void setHeadlessSession(bool headless) {
    g_headless = headless;
}

void reportSkippedWindow(std::string_view window, std::string_view consequence, std::ostream& errors) {
    errors << "Halcyra: no display, so the " << window << " was not shown; " << escapeLine(consequence)
           << std::endl;
}

void reportSkippedWindow(std::string_view window, std::string_view consequence) {
    reportSkippedWindow(window, consequence, std::cerr);
}

} // namespace halcyra
