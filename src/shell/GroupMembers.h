#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TSettings;

// Order of profile names in the lists the user sees: the profile list's text comparison (compareProfileText),
// with names equal that way ordered by their bytes, so the order is total.
bool profileNameLess(std::string_view left, std::string_view right);
// Whether two names name the same profile (ASCII letter case ignored, as registry key names).
bool sameProfileName(std::string_view left, std::string_view right);
// Sorts `names` in profileNameLess order (duplicates kept).
void sortProfileNames(std::vector<std::string>& names);

// Whether a value of a group's key names a member: its name begins with exactly "Name" (case-sensitive).
bool isGroupMemberValue(std::string_view valueName);

// The member names a group's key holds, sorted; member values with an empty text are left out.
std::vector<std::string> loadGroupMembers(const TSettings& group);

// The profiles `root` holds that may join a group: those whose type (ProfileType, low eight bits) is
// neither 0 nor 2 and that are not among `members` (letter case ignored); sorted.
std::vector<std::string> availableGroupMembers(const TSettings& root,
                                               const std::vector<std::string>& members);

// The name of `group`'s key when that key lies directly under `root`'s key; empty otherwise.
std::string groupNameUnder(const TSettings& root, const TSettings& group);

// Stores `members` as the group's members: every member value is deleted, then the members are written as
// "Name0", "Name1", ... in profileNameLess order, passing over an index whose value name another kept value
// already holds in another letter case (value names ignore case, so writing it would overwrite that value).
// With at least one member ProfileType becomes 2 and true is returned. Without members the group's key is
// deleted from `root` and false is returned; a group key that does not lie directly under `root` (or has no
// name) is then left alone, so no other key is deleted.
bool saveGroupMembers(TSettings& root, TSettings& group, std::vector<std::string> members);

} // namespace halcyra
