#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TSettings;

// The values of an ordinary profile as the set-up dialog shows and edits them.
struct ProfileValues {
    // The folder to scan.
    std::string Source;
    // 0 "N" the folder's own files, 1 "Y" the whole tree, 2 "G" the tree minus the excluded sub-folders.
    std::uint8_t Recursive = 1;
    // The names to scan and not to scan, each list in mask-list order (sortMaskList).
    std::vector<std::string> FileMasks;
    std::vector<std::string> ExclFileMasks;
    bool NoHash = false;
    bool DisplayLog = true;
    // Only meaningful while DisplayLog is set.
    bool DisplayLogChanges = true;
    bool Eject = false;
};

// The profile's stored values, with the dialog's defaults for missing ones (Recursive "Y", FileMasks
// "*.*", DisplayLog and DisplayLogChanges "Y"); both mask lists in mask-list order.
ProfileValues loadProfileValues(const TSettings& settings);

// Whether the values that decide what a run finds (Source, Recursive, FileMasks, ExclFileMasks, NoHash)
// differ from the stored ones. Missing stored values count as empty texts, Recursive as "N" and NoHash as
// "N"; texts are compared exactly, the mask lists as the comma texts that will be stored.
bool changesAffectResults(const TSettings& settings, const ProfileValues& values);

// Stores every value: Recursive as "N"/"Y"/"G", the mask lists as comma text, DisplayLogChanges "Y" only
// together with DisplayLog "Y", and ProfileType as `profileType`. LastRun and LastResult are left alone.
void saveProfileValues(TSettings& settings, const ProfileValues& values, std::uint8_t profileType);

// `folder` without trailing '/' characters; the root "/" stays "/".
std::string folderWithoutTrailingSlash(std::string_view folder);

// Why `folder` cannot be scanned ("You must choose a directory to scan", "The directory <folder> does not
// exist!", or "Exception raised: <reason>" when the test itself failed); the empty text when it is an
// existing folder (reached through links too).
std::string sourceFolderError(std::string_view folder);

// Mask lists keep ASCII case-insensitive order (bytes break ties).
void sortMaskList(std::vector<std::string>& masks);

enum class MaskAddResult { Added, Empty, Duplicate, Invalid };

// Adds the file-name part (after the last '/') of `answer` to `masks`, keeping their order, unless it is
// empty, equals an entry without regard to ASCII case, or is a mask the scanner cannot use; then
// `errorText` holds the scanner's text.
MaskAddResult addMask(std::vector<std::string>& masks, std::string_view answer, std::string& errorText);

} // namespace halcyra
