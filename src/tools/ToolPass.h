#pragma once

#include "tools/ToolRows.h"

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace halcyra {

class Clock;

// How a hash tool pass talks to its window. The window serves pending events in these calls (as often
// as it likes) and answers whether the user asked to stop.
class PassProgress {
public:
    virtual ~PassProgress() = default;
    // After the work on one file; `path` is the file's full path, or empty when the label is not used.
    // True stops the pass.
    virtual bool fileDone(std::string_view path) = 0;
    // Polled while a file is being hashed and while a folder tree is listed; true stops.
    virtual bool stopRequested() = 0;
};

// One file of a pass: its full path and where its shown name begins.
struct PassFile {
    std::string path;
    std::uint32_t nameAt = 0;
};

// The chosen files of a Files pass, each shown by its bare name.
std::vector<PassFile> chosenFiles(const std::vector<std::string>& paths);

// Lists every file of the tree under `folder` (sub-folders too, directory links not entered), each shown
// by its path relative to the folder ("sub/data.bin"), in the scanner's order. False when the listing
// failed (`errorText` says why) or was stopped through `progress` (`errorText` empty). A null clock is
// the system's (the scanner waits on it before it tries a folder again).
bool listFolderFiles(std::string_view folder, std::vector<PassFile>& files, std::string& errorText,
                     PassProgress& progress, Clock* clock = nullptr);

// The member's work on one hashed file; `hash` is its row hash (the placeholder when unreadable).
using RowWork = std::function<void(PassFile& file, std::string hash)>;

// Hashes each file with MD5 in order, hands it to `work` and reports it done. A file for which `skip`
// answers true is not hashed but still reported done; `skip` is asked in file order, a little ahead of the
// work. True when every file was handled; false when the pass was stopped (a file stopped in the middle of
// its hash gets no work). Files are hashed ahead by `threads` threads (0: as hashPlanFor says for the first
// file's folder); the calls are the same whatever their number.
bool hashFiles(std::vector<PassFile>& files, PassProgress& progress, const RowWork& work,
               const std::function<bool(const PassFile&)>& skip = {}, unsigned threads = 0);

// Hashes the files of the selected rows again, in list order, replacing each row's hash; reports each
// done without a path. False when stopped (the rows hashed so far keep their new hashes). `threads` as
// for hashFiles.
bool recalculateRows(ToolRows& rows, const RowIndexes& selected, PassProgress& progress,
                     unsigned threads = 0);

// Remembers the files met in a pass by device and inode: a second name of one file (a link, a hard link)
// is seen again.
class FileIdentities {
public:
    // True when `path` names a file already met; a file that cannot be examined is never "seen".
    bool seenBefore(const std::string& path);

private:
    struct Identity {
        unsigned long long device;
        unsigned long long inode;
        bool operator==(const Identity&) const = default;
    };
    struct IdentityHash {
        std::size_t operator()(const Identity& id) const {
            return std::hash<unsigned long long>()(id.inode * 31 + id.device);
        }
    };
    std::unordered_set<Identity, IdentityHash> m_seen;
};

} // namespace halcyra
