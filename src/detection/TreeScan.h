#pragma once

#include "base/DateTime.h"
#include "detection/FileKey.h"
#include "detection/MaskList.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class Clock;
class FileSystem;
class FolderListing;
class TreeWalk;

// The recorded state of one file.
struct TFileDetails {
    // The file's byte count.
    std::int64_t Size = 0;
    // MD5 text; empty = not hashed; the unreadable placeholder = the file could not be read.
    std::string Hash;
    // Last write in local time, even seconds.
    TDateTimeSecs DateTime = 0;
};

// One entry of a comparison list: the stored and the current state of one file. Owns both sides.
struct TFileCompare {
    // The stored state; null = the file is new.
    std::unique_ptr<TFileDetails> Old;
    // The state found by the scan; null = the file was deleted.
    std::unique_ptr<TFileDetails> New;
    // The key stands on the file exclusion list (set by MarkEntries).
    bool Excluded = false;
    // 0 unchanged, 1 size, 2 contents or unreadable, 4 date/time, 8 created, 16 deleted.
    std::uint8_t Status = 0;
};

// Relative file key ("/sub/name.ext") -> entry, sorted by FileKeyLess.
using CompareList = std::map<std::string, TFileCompare, FileKeyLess>;

// Full path -> the file's state, sorted by FileKeyLess.
using PlainList = std::map<std::string, TFileDetails, FileKeyLess>;

// Relative folder key ("/a/b/") -> depth (0 for a folder directly inside the root).
using SubFolderList = std::map<std::string, int, FileKeyLess>;

// Called once per folder with its full path (trailing '/'); true stops the scan.
using TScanEvent = std::function<bool(const std::string& folder)>;

// Called with each relative folder path ("" for the root, then "a/", "a/x/") before it is listed.
using FolderProgress = std::function<void(const std::string& relativeFolder)>;

// Walks one folder tree into a caller-owned list: in plain mode (mode 0) keyed by full path, in
// comparison mode (mode 1) filling the New side of the comparison entry of each relative key. Each
// folder's files come first, then its OnDirectory call, then its sub-folders depth first. Directory
// links are never entered (the starting folder may be one), file links are followed, FIFOs, sockets
// and devices are never listed. One scanner serves one scan. Never throws through its caller.
class TTreeScanner {
public:
    // Null services mean the real file system and clock.
    explicit TTreeScanner(PlainList& fileList, FileSystem* fileSystem = nullptr, Clock* clock = nullptr);
    explicit TTreeScanner(CompareList& fileList, FileSystem* fileSystem = nullptr, Clock* clock = nullptr);
    TTreeScanner(const TTreeScanner&) = delete;
    TTreeScanner& operator=(const TTreeScanner&) = delete;

    // Sets the names to scan from comma text; "*.*" stands for every name unless "*" is given too.
    // An empty text accepts no file. Returns the error text of an invalid mask, which Scan then
    // reports instead of scanning; empty when every mask is valid.
    std::string SetIncludeMasks(std::string_view text);
    // Sets the names not to scan from comma text; empty = none. Returns an error text as above.
    std::string SetExcludeMasks(std::string_view text);
    // Sub-folders to skip with everything beneath them, as relative folder keys ("/a/b/"), matched
    // exactly; null = none. The list is not owned and must outlive the scan.
    void SetExcludedDirs(const KeySet* list) { m_excludedDirs = list; }

    TScanEvent OnDirectory;
    // Comparison mode: called for each file as it enters the list, with its entry, in the order the walk
    // finds them; true stops the scan as OnDirectory does. `unseen`: the file was not looked at (see
    // LookLater). Entries stay where they are for the rest of the scan, whatever OnFile does to others.
    std::function<bool(CompareList::iterator entry, bool unseen)> OnFile;
    // With OnFile: a file that the listing says is a regular file enters the list without being looked at,
    // its New side holding neither size nor time; OnFile's owner looks at it, fills them in, and takes the
    // New side out again (the entry too, when it has no Old side) when it is gone or no regular file now.
    bool LookLater = false;

    // Scans the folder `dir` exactly as given, its sub-folders too when `recurse`, at any depth.
    // True when the scan was neither aborted nor failed; on failure `errorText` says why and the
    // entries found so far stay in the list. A folder that cannot be listed is tried once more after
    // five seconds; if it still fails, the scan ends with "Error scanning "<folder>" : <reason>". A
    // sub-folder found gone (or no longer a folder) when its turn comes is left out without an error.
    bool Scan(std::string_view dir, bool recurse, std::string& errorText);

    // Set when OnDirectory asked to stop; never cleared.
    bool Aborted() const { return m_aborted; }
    std::uint8_t Mode() const { return m_mode; }
    // The folder being scanned as Scan() took it, with a trailing '/'; empty before Scan().
    const std::string& Root() const { return m_root; }

    // Whether the bare file name passes the include and exclude masks.
    bool Accept(std::string_view fileName) const;
    // The part of a full path below the scanned folder, beginning with '/'.
    std::string RelativeName(std::string_view fullPath) const;

    // Clears every entry's Excluded mark, then marks the entry of each key in `keys` (exact match).
    // Returns the number of keys found (a key given twice counts twice).
    template <class Keys> static int MarkEntries(const Keys& keys, CompareList& entries);

    // Disposes a comparison list with all its records; always true.
    static bool FreeFileList(std::unique_ptr<CompareList>& list);

    // Adds every sub-folder below `root` to `list` (nothing when null) as "/a/", "/a/x/" with its
    // depth, without exclusions; directory links are not listed. A folder that cannot be listed adds
    // nothing below it and is not reported.
    static void ListSubFolders(std::string_view root, SubFolderList* list,
                               const FolderProgress& progress = {}, FileSystem* fileSystem = nullptr);

private:
    // Lists the walk's current folder: accepted files into the list, sub-folders to visit into
    // `subFolders`, then OnDirectory. Returns the folder, still open, or null when it could not be
    // listed or is gone.
    std::unique_ptr<FolderListing> scanFolder(TreeWalk& walk, bool recurse,
                                              std::vector<std::string>& subFolders, std::string& errorText);
    // Adds the file; false when OnFile asked to stop.
    bool addEntry(std::string&& key, const TFileDetails& details, bool unseen = false);

    PlainList* m_plainList = nullptr;
    CompareList* m_compareList = nullptr;
    std::uint8_t m_mode;
    FileSystem& m_fileSystem;
    Clock& m_clock;
    MaskList m_includeMasks;
    MaskList m_excludeMasks;
    bool m_includeMasksSet = false;
    std::string m_includeError;
    std::string m_excludeError;
    const KeySet* m_excludedDirs = nullptr;
    std::string m_root;
    bool m_aborted = false;
    std::string m_keyBuffer;
};

template <class Keys> int TTreeScanner::MarkEntries(const Keys& keys, CompareList& entries) {
    for (auto& entry : entries)
        entry.second.Excluded = false;
    int count = 0;
    for (const auto& key : keys) {
        const auto found = entries.find(std::string_view(key));
        if (found != entries.end()) {
            found->second.Excluded = true;
            ++count;
        }
    }
    return count;
}

} // namespace halcyra
