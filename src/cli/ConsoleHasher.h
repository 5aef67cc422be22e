#pragma once

#include "cli/DirectorySearchMask.h"
#include "cli/OutputWriter.h"
#include "hashing/Hashing.h"

#include <chrono>
#include <cstdint>
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
// Output is live: a line reaches the writer's descriptor before the next file larger than 1 MiB is
// hashed, and otherwise at the latest when the next file or folder is started ~50 ms after it.
class ConsoleHasher {
public:
    // Receives one error line (ending CR LF) for standard error.
    using ErrorSink = std::function<void(const std::string&)>;

    ConsoleHasher(OutputWriter& out, ErrorSink errors);
    virtual ~ConsoleHasher();
    ConsoleHasher(const ConsoleHasher&) = delete;
    ConsoleHasher& operator=(const ConsoleHasher&) = delete;

    // A switch ("-r", "-nr", "-m", "-c", whole word, any letter case) changes the state for the
    // parameters that follow it; every other parameter is a file specification and is scanned.
    void processParameter(std::string_view parameter);

    // Hashes and prints the files that match a file specification (a path whose last component may
    // hold '*' and '?'); with `Recursive` on, the same name mask is then applied in every sub-folder,
    // depth first, at any depth. Entries of each folder come in byte order of their names. A
    // specification whose folder does not exist prints nothing.
    void ScanFileSpec(const std::string& spec);

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
    void printLine(std::string_view hash, const std::string& relative, const std::string& name, bool topLevel,
                   std::chrono::steady_clock::time_point started);
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

    std::chrono::steady_clock::time_point m_heldSince; // when the oldest held line's file was started
    std::vector<Entry> m_entries;                      // listing of the folder being scanned, reused
    std::string m_line;                                // output line being built, reused
};

} // namespace halcyra
