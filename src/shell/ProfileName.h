#pragma once

#include "base/ProfileNameRule.h"

#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

class TSettings;
class UiServices;

// The error box text (OK asks again, Cancel ends) shown for a name that is already a profile.
inline constexpr std::string_view ProfileNameTakenText =
    "A profile with that name already exists. Please use another name.";

// Whether `name` passes the one profile-name rule (profileNameProblem gives the reason when it does not).
bool isValidProfileName(std::string_view name);

// `text` without the blanks and control characters (bytes up to 0x20) at both ends.
std::string trimProfileName(std::string_view text);

// Asks for a profile name in an input box (caption, prompt, empty default) until the answer can be used:
// the answer is trimmed; an empty answer or Cancel gives nothing; a name that breaks the rule shows its
// reason (profileNameProblem) in an error box and asks again; a name for which `root` already has a sub-key
// (letter case ignored) shows the name-taken box, where OK asks again and anything else gives nothing.
std::optional<std::string> askProfileName(UiServices& ui, const TSettings& root, std::string_view caption,
                                          std::string_view prompt);

} // namespace halcyra
