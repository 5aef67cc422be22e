#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TSettings;

// The name of the group that gathers the converted profiles (or, when a profile of that name exists, the
// first free "Old Profiles 2", "Old Profiles 3", ...).
inline constexpr std::string_view OldProfilesGroupName = "Old Profiles";

// The watched folders of an older `Directories` value: "*"-delimited text with the double quote as quote
// character (a blank also ends an unquoted item), empty items dropped, trailing separators ('\' and '/')
// removed except the one of a root folder, sorted ASCII case-insensitively with repeats dropped.
std::vector<std::string> oldFolderList(std::string_view directories);

// What a converted folder's profile is named after: the folder's last component (after its last '\', '/'
// or ':'), its blanks at both ends trimmed and the characters a profile name cannot hold replaced by '_';
// for a root folder "Drive X" (a drive "X:") or "Root".
std::string convertedProfileBase(std::string_view folder);

struct OldSettingsConversion {
    // The old folder list held at least one folder.
    bool converted = false;
    // Each failure's text; with any, the old files that were read are kept, renamed with ".bak".
    std::vector<std::string> errors;
};

// Turns the older single-configuration settings of `RootSettings` (the program's root key) into one
// ordinary profile per watched folder and a group holding them, gives each profile the old results and
// program-wide exclusions of the files inside its folder (a case-insensitive prefix followed by a
// separator; an entry inside nested folders goes to each), and then removes the old values and files.
//
// A profile's name is its folder's base (convertedProfileBase), else that base with " 2", " 3", ... added:
// the first that passes the profile-name rule, names no existing profile, the group or another converted
// folder, whose data files do not exist yet and are not the old files. The old files are deleted only
// when every read and write succeeded. When the old values or the existing profile names could not be read,
// or a profile could not be written, nothing else changes, so the conversion is tried again at the next
// start.
OldSettingsConversion ConvertOldSettings(TSettings& RootSettings);

} // namespace halcyra
