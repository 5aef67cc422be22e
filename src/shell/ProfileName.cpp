#include "shell/ProfileName.h"

#include "platform/MessageBoxes.h"
#include "settings/Settings.h"

namespace halcyra {

namespace {

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

} // namespace

bool isValidProfileName(std::string_view name) {
    return profileNameProblem(name).empty();
}

std::string trimProfileName(std::string_view text) {
    while (!text.empty() && isBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::optional<std::string> askProfileName(UiServices& ui, const TSettings& root, std::string_view caption,
                                          std::string_view prompt) {
    for (;;) {
        const std::optional<std::string> answer = ui.inputText(caption, prompt, {});
        if (!answer)
            return std::nullopt;
        std::string name = trimProfileName(*answer);
        if (name.empty())
            return std::nullopt;
        if (const std::string problem = profileNameProblem(name); !problem.empty()) {
            showError(ui, problem);
            continue;
        }
        if (root.SubKeyExists(name)) {
            if (askTryAgain(ui, ProfileNameTakenText))
                continue;
            return std::nullopt;
        }
        return name;
    }
}

} // namespace halcyra
