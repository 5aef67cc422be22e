#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

class TSettings;
class UiServices;

// The error box text shown for a name that breaks the profile-name rule.
inline constexpr std::string_view InvalidProfileNameText =
    "Profile names cannot contain these characters: \\ / : * ? \" < > |";
// The error box text (OK asks again, Cancel ends) shown for a name that is already a profile.
inline constexpr std::string_view ProfileNameTakenText =
    "A profile with that name already exists. Please use another name.";

// The one rule for a profile name that a command gives to a new or changed profile: not empty, none of
// \ / : * ? " < > | or a control character, not "." or "..", at most 200 bytes (every data-file name made
// from it must fit the file system), and not "-i" in any letter case (the command line's switch).
bool isValidProfileName(std::string_view name);

// `text` without the blanks and control characters (bytes up to 0x20) at both ends.
std::string trimProfileName(std::string_view text);

// Asks for a profile name in an input box (caption, prompt, empty default) until the answer can be used:
// the answer is trimmed; an empty answer or Cancel gives nothing; a name that breaks the rule shows the
// invalid-name box and asks again; a name for which `root` already has a sub-key (letter case ignored)
// shows the name-taken box, where OK asks again and anything else gives nothing.
std::optional<std::string> askProfileName(UiServices& ui, const TSettings& root, std::string_view caption,
                                          std::string_view prompt);

} // namespace halcyra
