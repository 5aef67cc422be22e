#include "shell/GroupMembers.h"

#include "settings/Settings.h"
#include "shell/ProfileList.h"

#include <algorithm>
#include <cstdint>

namespace halcyra {

namespace {

constexpr std::string_view MemberPrefix = "Name";
constexpr std::int32_t GroupProfileType = 2;

} // namespace

bool profileNameLess(std::string_view left, std::string_view right) {
    const int order = compareProfileText(left, right);
    return order != 0 ? order < 0 : left < right;
}

bool sameProfileName(std::string_view left, std::string_view right) {
    return compareProfileText(left, right) == 0;
}

void sortProfileNames(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return profileNameLess(a, b); });
}

bool isGroupMemberValue(std::string_view valueName) {
    return valueName.substr(0, MemberPrefix.size()) == MemberPrefix;
}

std::vector<std::string> loadGroupMembers(const TSettings& group) {
    std::vector<std::string> valueNames;
    std::vector<std::string> members;
    if (!group.GetValueNames({}, valueNames))
        return members;
    for (const std::string& valueName : valueNames) {
        if (!isGroupMemberValue(valueName))
            continue;
        std::string member = group.ReadStringDef(valueName, {});
        if (!member.empty())
            members.push_back(std::move(member));
    }
    sortProfileNames(members);
    return members;
}

std::vector<std::string> availableGroupMembers(const TSettings& root,
                                               const std::vector<std::string>& members) {
    std::vector<std::string> names;
    std::vector<std::string> available;
    if (!root.GetSubKeyNames(names))
        return available;
    for (std::string& name : names) {
        const std::int32_t type = root.ReadSubKeyInteger(name, "ProfileType", 0) & 0xFF;
        if (type == 0 || type == GroupProfileType)
            continue;
        const bool member = std::any_of(members.begin(), members.end(),
                                        [&name](const std::string& m) { return sameProfileName(m, name); });
        if (!member)
            available.push_back(std::move(name));
    }
    sortProfileNames(available);
    return available;
}

std::string groupNameUnder(const TSettings& root, const TSettings& group) {
    const std::string& rootKey = root.Key();
    const std::string& groupKey = group.Key();
    if (groupKey.size() <= rootKey.size() + 1 || groupKey[rootKey.size()] != '\\' ||
        !sameProfileName(std::string_view(groupKey).substr(0, rootKey.size()), rootKey))
        return {};
    const std::string_view name = std::string_view(groupKey).substr(rootKey.size() + 1);
    if (name.find('\\') != std::string_view::npos)
        return {};
    return std::string(name);
}

bool saveGroupMembers(TSettings& root, TSettings& group, std::vector<std::string> members) {
    std::vector<std::string> valueNames;
    std::vector<std::string> otherValues; // value names kept; the store compares them without regard to case
    if (group.GetValueNames({}, valueNames))
        for (std::string& valueName : valueNames) {
            if (isGroupMemberValue(valueName))
                group.DeleteValue(valueName);
            else
                otherValues.push_back(std::move(valueName));
        }
    sortProfileNames(members);
    std::size_t index = 0;
    for (const std::string& member : members) {
        std::string valueName;
        do // a kept value such as "name0" would be overwritten by "Name0" and the member lost
            valueName = std::string(MemberPrefix) + std::to_string(index++);
        while (std::any_of(otherValues.begin(), otherValues.end(), [&valueName](const std::string& other) {
            return sameProfileName(other, valueName);
        }));
        group.WriteString(valueName, member);
    }
    if (!members.empty()) {
        group.WriteInteger("ProfileType", GroupProfileType);
        return true;
    }
    const std::string name = groupNameUnder(root, group);
    if (!name.empty())
        root.DeleteSubKey(name);
    return false;
}

} // namespace halcyra
