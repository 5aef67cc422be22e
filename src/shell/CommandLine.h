#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The word that makes every profile named after it run interactively: "-i" in either letter case.
bool isInteractiveSwitch(std::string_view word);

// One profile run asked for on the command line.
struct ProfileRunRequest {
    std::string name; // the parameter as given: not trimmed, not checked
    bool unattended = true;

    bool operator==(const ProfileRunRequest&) const = default;
};

// The runs a command line asks for, in parameter order: every parameter but the switch names a profile, run
// unattended until the first switch and interactively after it.
std::vector<ProfileRunRequest> profileRunsOf(const std::vector<std::string>& parameters);

// The settings key of the profile a command line names. Nothing for a name holding the key separator "\",
// which would address a key below another profile rather than a profile.
std::optional<std::string> profileKeyOf(std::string_view name);

// What the process environment tells about the display before the toolkit starts.
struct StartEnvironment {
    bool hasParameters = false;
    std::string display;                   // DISPLAY
    std::string waylandDisplay;            // WAYLAND_DISPLAY
    std::optional<std::string> qtPlatform; // QT_QPA_PLATFORM when set
};

// How to start the toolkit: `refuse` when there is nothing to do without a display; otherwise the platform
// list to put into QT_QPA_PLATFORM (nothing: leave a platform the user chose). A display that is named but
// cannot be opened falls back to the offscreen platform, which the program then treats as having no display.
struct StartPlan {
    bool refuse = false;
    std::optional<std::string> qtPlatform;
};
StartPlan planStart(const StartEnvironment& environment);

// Whether the toolkit platform the program runs on offers no display to a person.
bool isHeadlessPlatform(std::string_view platformName);

// Printed to standard error when the program is started without profile names and without a display.
inline constexpr std::string_view NoDisplayText =
    "Halcyra: cannot open a display (neither DISPLAY nor WAYLAND_DISPLAY names one that can be opened).\n"
    "Start Halcyra on a desktop, or name profiles on the command line to run them without a display:\n"
    "    Halcyra [-i] PROFILE...";

} // namespace halcyra
