#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// Everything up to and including the last '/', or the empty text when there is none.
std::string_view folderPart(std::string_view path);

// Everything after the last '/' (the whole text when there is none).
std::string_view namePart(std::string_view path);

// `path` with one '/' appended when it does not already end with one (the empty text stays empty).
std::string withTrailingSlash(std::string_view path);

// The current working folder with a trailing '/', or the empty text when it cannot be read.
std::string currentFolder();

// Full path of the running program file (from /proc/self/exe); empty when it cannot be read.
std::string programPath();

// Folder that holds the running program file, with a trailing '/'.
std::string programFolder();

// Whether `name` may be used as the stem of a data-file name: not empty, no '/', no NUL,
// not "." or "..", at most 200 bytes.
bool isPathSafeName(std::string_view name);

} // namespace halcyra

namespace halcyra {

// The per-user data folder ($XDG_DATA_HOME/Halcyra/, default ~/.local/share/Halcyra/) with a
// trailing '/': results, exclusion lists, log pages and temporary files live here. Created
// (mode 0700, parents as needed) on each call when missing; the path is returned even when
// creation failed, so the caller's own file operation reports the error.
std::string dataFolder();

// The per-user settings folder ($XDG_CONFIG_HOME/Halcyra/, default ~/.config/Halcyra/) with a
// trailing '/', created like dataFolder(). Holds the settings database.
std::string settingsFolder();

} // namespace halcyra
