#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// The error text for a name that holds one of the characters a settings key or a file name cannot hold.
inline constexpr std::string_view InvalidProfileNameText =
    "Profile names cannot contain these characters: \\ / : * ? \" < > |";

// The one rule for a profile name, for every place that accepts a name for a new, renamed, copied, imported
// or converted profile and for every run of a stored profile. Returns the empty text when `name` can name a
// profile, else the text that says why not: it is empty; it holds \ / : * ? " < > | (InvalidProfileNameText)
// or a control character; it is "." or ".."; it is "-i" in any letter case (the command line's switch); it is
// longer than 200 bytes (every data-file name made from it must fit the file system); or it ends with "_excl"
// or "_excl_dir" in any ASCII letter case, so that its data files would be another profile's exclusion lists
// or the program-wide exclusion list.
std::string profileNameProblem(std::string_view name);

} // namespace halcyra
