#pragma once

#include "cli/DirectorySearchMask.h"
#include "cli/OutputWriter.h"
#include "hashing/HashPool.h"
#include "hashing/Hashing.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace halcyra {

// The console hasher's run: takes the command-line parameters one by one and prints one line per
// file found ("<hash> <name>" ending CR LF) to the writer. Write failures propagate as
// OutputWriteError. A folder that exists but cannot be listed is reported through the error sink
// (one line naming it and the system's reason) and skipped.
//
// With several hash threads, files are hashed ahead of the walk by a HashPool and their lines are held
// until their turn comes, so the output is the same as with one: the same lines in the same order.
//
// Output is live: with one thread, a line reaches the writer's descriptor before the next file larger
// than 1 MiB is hashed, and otherwise at the latest when the next file or folder is started ~50 ms after
// it; with several, at the latest ~50 ms after it is printed or after the walk began to wait for a hash.
class ConsoleHasher {
public:
    // Receives one error line (ending CR LF) for standard error.
    using ErrorSink = std::function<void(const std::string&)>;

    // `hashThreads` is the most threads that hash files. With one, every file is hashed on the calling
    // thread.
    ConsoleHasher(OutputWriter& out, ErrorSink errors, unsigned hashThreads = 1);
    virtual ~ConsoleHasher();
    ConsoleHasher(const ConsoleHasher&) = delete;
    ConsoleHasher& operator=(const ConsoleHasher&) = delete;

    // A switch ("-r", "-nr", "-m", "-c", whole word, any letter case) changes the state for the
    // parameters that follow it; every other parameter names files (see ScanFileSpec) and is scanned.
    void processParameter(std::string_view parameter);

    // Hashes and prints the files that match `spec`, a path whose last component may hold '*' and '?';
    // with `Recursive` on, the same name mask is then applied in every sub-folder, depth first, at any
    // depth. Entries of each folder come in byte order of their names. Nothing is printed when the
    // folder of `spec` does not exist.
    void ScanFileSpec(const std::string& spec);

    // Prints the lines of files still being hashed ahead; call it after the last parameter. With one
    // hash thread there are none.
    void printHeldLines();

    // Files larger than this have the lines before them written out before they are hashed.
    static constexpr off_t LargeFileSize = 1024 * 1024;
    // Lines held longer than this are written out before the next file or folder is started.
    static constexpr std::chrono::milliseconds MaxLineDelay{50};

protected:
    // The clock that times held lines (replaced by tests).
    virtual std::chrono::steady_clock::time_point now() const { return std::chrono::steady_clock::now(); }
    // Hashes the regular file `name` of the open folder `dirFd`, which a stat found to be `seen`
    // (replaced by tests). The empty text when it cannot be read.
    virtual std::string hashEntry(int dirFd, const std::string& name, const struct stat& seen);
    // How files on the file system `device` are hashed (replaced by tests): `maxThreads` threads, which on
    // a rotational disk read only what the page cache holds and leave the rest to one ordered reader.
    virtual HashPlan hashPlanOn(dev_t device, unsigned maxThreads) const;

private:
    // How a file pattern's last component selects names.
    class NameSelector {
    public:
        explicit NameSelector(std::string_view mask);
        bool matches(std::string_view name) const;
        // A name without wildcards names one entry exactly.
        bool isExactName() const { return !m_mask.has_value(); }
        const std::string& exactName() const { return m_exact; }

    private:
        std::string m_exact;
        std::optional<DirectorySearchMask> m_mask;
    };

    // How a held line's file is handed to the pool.
    enum class Hand {
        None,   // not at all: the line shows the placeholder
        Seen,   // with the stat the walk took
        Listed, // as its listing named it, looked at once open; no line when it is gone by then
    };

    // A line whose file may still be hashed by the pool: its hash comes first, then ` tail`.
    struct HeldLine {
        std::string tail; // " <display name>\r\n"
        Hand hand;
    };

    struct Entry {
        std::string name;
        unsigned char type; // d_type of the listing
    };
    struct Level;

    // Prints the matching non-folder entries of the open folder `dirFd`; `relative` is the part of the
    // folder's path below BaseDir, already escaped for display, empty at the top level. With
    // `subFolders` given, also returns the names of its real sub-folders (never links) in byte order.
    // `dir` names the folder in error lines.
    void scanFolder(int dirFd, const std::string& dir, const std::string& relative,
                    const NameSelector& selector, bool topLevel, std::vector<std::string>* subFolders);
    // Prints the line of entry `name` of `dirFd` when it is not a folder.
    void visitEntry(int dirFd, const std::string& name, unsigned char type, const std::string& relative,
                    bool topLevel);
    void printLine(std::string_view hash, std::string_view tail,
                   std::chrono::steady_clock::time_point started);
    // " <display name>\r\n" of entry `name`.
    std::string lineTail(const std::string& relative, const std::string& name, bool topLevel) const;
    // Holds the line of entry `name` of `dirFd`, handing the file to the pool as `hand` says (`file`: its
    // stat, for Seen).
    void holdLine(int dirFd, const std::string& name, Hand hand, const struct stat* file, std::string tail);
    void printOldestHeldLine();
    // Chooses one thread or the pool for the files of the open folder `folderFd`.
    void chooseHashThreads(int folderFd);
    // Writes out held lines when at `time` they are older than MaxLineDelay, or whenever `large`.
    void keepOutputLive(std::chrono::steady_clock::time_point time, bool large);
    // Opens the next sub-folder of the innermost level as a new level; false when it cannot be opened.
    bool descend(std::vector<Level>& levels, const std::string& name);
    void reportUnlistable(const std::string& folder, int error);

    void setHashType(std::uint8_t kind);

    OutputWriter& m_out;
    ErrorSink m_errors;
    bool Recursive = false;
    std::uint8_t HashType = TFileHashing::KindMD5;
    std::unique_ptr<TFileHashing> FileHasher;
    std::string BaseDir;

    unsigned m_maxThreads;
    std::unique_ptr<HashPool> m_pool;           // present while files are hashed by several threads
    HashPlan m_poolPlan;                        // the pool's
    std::deque<HeldLine> m_held;                // lines waiting for the pool, oldest first
    std::shared_ptr<const OpenFolder> m_folder; // the folder being scanned, once a file of it is handed in
    StopPoll m_waitPoll;                        // while waiting for a hash: keeps the output live
    dev_t m_device = 0;                         // the last folder's device and its plan
    std::optional<HashPlan> m_devicePlan;

    std::chrono::steady_clock::time_point m_heldSince; // when the oldest held line's file was started
    std::vector<Entry> m_entries;                      // listing of the folder being scanned, reused
    std::string m_line;                                // output line being built, reused
};

} // namespace halcyra
