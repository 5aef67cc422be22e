#include "shell/CommandLine.h"

#include "settings/Settings.h"

namespace halcyra {

bool isInteractiveSwitch(std::string_view word) {
    return word.size() == 2 && word[0] == '-' && (word[1] == 'i' || word[1] == 'I');
}

std::vector<ProfileRunRequest> profileRunsOf(const std::vector<std::string>& parameters) {
    std::vector<ProfileRunRequest> runs;
    bool interactive = false;
    for (const std::string& parameter : parameters) {
        if (isInteractiveSwitch(parameter))
            interactive = true;
        else
            runs.push_back({parameter, !interactive});
    }
    return runs;
}

std::optional<std::string> profileKeyOf(std::string_view name) {
    if (name.find('\\') != std::string_view::npos)
        return std::nullopt;
    std::string key(SettingsRootKey);
    key += '\\';
    key += name;
    return key;
}

StartPlan planStart(const StartEnvironment& environment) {
    StartPlan plan;
    if (environment.qtPlatform && !environment.qtPlatform->empty())
        return plan; // the user's choice; a platform without a display is found out after the start
    if (environment.display.empty() && environment.waylandDisplay.empty()) {
        if (environment.hasParameters)
            plan.qtPlatform = "offscreen";
        else
            plan.refuse = true;
        return plan;
    }
    plan.qtPlatform = environment.waylandDisplay.empty() ? "xcb;offscreen" : "wayland;xcb;offscreen";
    return plan;
}

bool isHeadlessPlatform(std::string_view platformName) {
    return platformName == "offscreen" || platformName == "minimal";
}

} // namespace halcyra
