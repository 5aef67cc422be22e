#include "shell/ProfileValues.h"

#include "base/AsciiCase.h"
#include "base/LongPath.h"
#include "base/Wildcard.h"
#include "detection/CommaText.h"
#include "detection/MaskList.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace halcyra {

namespace {

bool maskOrder(const std::string& left, const std::string& right) {
    const int byCase = orderIgnoringAsciiCase(left, right);
    return byCase != 0 ? byCase < 0 : left < right;
}

std::vector<std::string> maskListOf(const std::string& commaText) {
    std::vector<std::string> masks = splitCommaText(commaText);
    sortMaskList(masks);
    return masks;
}

char recursiveLetter(std::uint8_t state) {
    return state == 0 ? 'N' : state == 1 ? 'Y' : 'G';
}

} // namespace

ProfileValues loadProfileValues(const TSettings& settings) {
    ProfileValues values;
    values.Recursive = settings.ReadTriStateDef("Recursive", 1);
    values.Source = settings.ReadStringDef("Source", "");
    values.DisplayLog = settings.ReadBoolDef("DisplayLog", true);
    values.DisplayLogChanges = settings.ReadBoolDef("DisplayLogChanges", true);
    values.Eject = settings.ReadBoolDef("Eject", false);
    values.NoHash = settings.ReadBoolDef("NoHash", false);
    values.FileMasks = maskListOf(settings.ReadStringDef("FileMasks", "*.*"));
    values.ExclFileMasks = maskListOf(settings.ReadStringDef("ExclFileMasks", ""));
    return values;
}

bool changesAffectResults(const TSettings& settings, const ProfileValues& values) {
    return settings.ReadStringDef("Source", "") != values.Source ||
           settings.ReadTriStateDef("Recursive", 0) != values.Recursive ||
           settings.ReadStringDef("FileMasks", "") != joinCommaText(values.FileMasks) ||
           settings.ReadStringDef("ExclFileMasks", "") != joinCommaText(values.ExclFileMasks) ||
           settings.ReadBoolDef("NoHash", false) != values.NoHash;
}

void saveProfileValues(TSettings& settings, const ProfileValues& values, std::uint8_t profileType) {
    settings.WriteBool("DisplayLog", values.DisplayLog);
    settings.WriteBool("DisplayLogChanges", values.DisplayLog && values.DisplayLogChanges);
    settings.WriteBool("Eject", values.Eject);
    settings.WriteInteger("ProfileType", profileType);
    settings.WriteString("FileMasks", joinCommaText(values.FileMasks));
    settings.WriteString("ExclFileMasks", joinCommaText(values.ExclFileMasks));
    settings.WriteString("Source", folderWithoutTrailingSlash(values.Source));
    settings.WriteString("Recursive", std::string(1, recursiveLetter(values.Recursive)));
    settings.WriteBool("NoHash", values.NoHash);
}

std::string folderWithoutTrailingSlash(std::string_view folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.remove_suffix(1);
    return std::string(folder);
}

std::string sourceFolderError(std::string_view folder) {
    if (folder.empty())
        return "You must choose a directory to scan";
    const std::string path(folder);
    struct stat info {};
    if (path.find('\0') == std::string::npos && statLongPath(path, info, true) == 0)
        return S_ISDIR(info.st_mode) ? std::string() : "The directory " + path + " does not exist!";
    const int error = path.find('\0') == std::string::npos ? errno : ENOENT;
    if (error == ENOENT || error == ENOTDIR)
        return "The directory " + path + " does not exist!";
    return std::string("Exception raised: ") + std::strerror(error);
}

void sortMaskList(std::vector<std::string>& masks) {
    std::stable_sort(masks.begin(), masks.end(), maskOrder);
}

MaskAddResult addMask(std::vector<std::string>& masks, std::string_view answer, std::string& errorText) {
    errorText.clear();
    if (const std::size_t slash = answer.rfind('/'); slash != std::string_view::npos)
        answer.remove_prefix(slash + 1);
    if (answer.empty())
        return MaskAddResult::Empty;
    for (const std::string& mask : masks)
        if (orderIgnoringAsciiCase(mask, answer) == 0)
            return MaskAddResult::Duplicate;
    errorText = invalidMaskText(answer);
    if (!errorText.empty())
        return MaskAddResult::Invalid;
    std::string mask(answer);
    masks.insert(std::upper_bound(masks.begin(), masks.end(), mask, maskOrder), mask);
    return MaskAddResult::Added;
}

} // namespace halcyra
