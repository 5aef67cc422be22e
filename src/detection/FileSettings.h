#pragma once

#include "detection/FileKey.h"
#include "detection/TreeScan.h"

#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The text files a profile keeps in the data folder: its stored results ("<profile>.txt"), its file
// exclusion list ("<profile>_excl.txt") and folder exclusion list ("<profile>_excl_dir.txt"), and
// the program-wide exclusion list read when old settings are converted. Every routine reports
// failure as a text in `errorText` (empty = success) and never throws. Every file is written whole
// or not at all: a failed write leaves the previous file as it was, and each store removes the
// temporary files that a killed store of the same file left. No line longer than MaxLineLength is
// read or written: a longer one ends the reading or fails the write.
//
// Names that the line formats cannot carry as they are (line ends, control bytes, '<', and in the
// results file '*', '"' and '>'; in the exclusion lists a leading or trailing blank) are written as
// "<HH>" and read back unchanged.
class TFileSettings {
public:
    TFileSettings() = delete;

    // The file names; empty when the profile name cannot be used in a file name (isPathSafeName).
    static std::string GlobalExclusionFileName();
    static std::string ResultsFileName(std::string_view profile);
    static std::string ExclusionFileName(std::string_view profile);
    static std::string ExclusionDirFileName(std::string_view profile);

    static void LoadGlobalExclusions(KeySet* list, std::string& errorText);
    static void LoadExclusions(std::string_view profile, KeySet* list, std::string& errorText);
    static void LoadExclusionDirs(std::string_view profile, KeySet* list, std::string& errorText);
    static void SaveExclusions(std::string_view profile, const KeySet* list, std::string& errorText);
    static void SaveExclusionDirs(std::string_view profile, const KeySet* list, std::string& errorText);

    // Adds the stored results to the Old sides of `compareList` (a key already present keeps its
    // entry), skipping files whose own folder `excludedDirs` holds. No results file: nothing added, no
    // error. A line that does not parse ends the reading; the entries added before it stay.
    static void LoadResults(std::string_view profile, const KeySet* excludedDirs, CompareList* compareList,
                            std::string& errorText);
    // Writes the New sides (or the Old sides with `useOld`) of `compareList`; entries without that side
    // are left out. An empty hash is replaced by the stored one when that is known.
    static void SaveResults(std::string_view profile, CompareList* compareList, bool useOld,
                            std::string& errorText);

    // Adds each line of the file, trimmed of blanks and control characters, to `list` (not cleared
    // first). A missing file or a null list does nothing and is no error.
    static void LoadListFromFile(const std::string& fileName, KeySet* list, std::string& errorText);
    static void LoadListFromFile(const std::string& fileName, std::vector<std::string>* list,
                                 std::string& errorText);
    // Replaces the file with the entries of `list`, one a line, in list order; a null list leaves the
    // file as it is.
    static void SaveListToFile(const std::string& fileName, const KeySet* list, std::string& errorText);
    static void SaveListToFile(const std::string& fileName, const std::vector<std::string>* list,
                               std::string& errorText);

    // The profile archive (ProfileArchive.cpp): a ZIP file whose comment names the profile and whose
    // members are the profile's registry text "<profile>.reg" and those of its results file and
    // exclusion lists that exist. Each returns true on success, else false with `errorText` set.

    // Writes a fresh archive of `profile` to `archiveFile`, replacing any file there whole. Refuses a
    // place in the data folder or the settings folder, and a profile that does not exist.
    static bool ExportProfile(std::string_view profile, const std::string& archiveFile,
                              std::string& errorText);
    // Whether `archiveFile` holds a profile; `profileName` receives its comment whatever the outcome.
    static bool CheckProfileFile(const std::string& archiveFile, std::string& profileName,
                                 std::string& errorText);
    // Makes the archive's profile a profile of this installation, replacing one of the same name (letter
    // case ignored) with all its values, data files and log pages. All or nothing: under the run locks of
    // both spellings the archive's files are staged, then the old key is deleted, the profile's own
    // registry text merged and the profile marked as imported (no `LastRun`, `LastResult` "Imported") in one
    // store transaction, after which the files take their places (HousekeepingJournal). Only the archive's
    // four expected members are read; the key ends up spelled as the comment.
    static bool ImportProfile(const std::string& archiveFile, std::string& errorText);
};

} // namespace halcyra
