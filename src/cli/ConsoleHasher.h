#pragma once

#include "base/Wildcard.h"
#include "cli/OutputWriter.h"
#include "hashing/Hashing.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The console hasher's run: takes the command-line parameters one by one and prints one line per
// file found ("<hash> <name>" ending CR LF) to the writer. Write failures propagate as
// OutputWriteError; nothing else is reported.
class ConsoleHasher {
public:
    explicit ConsoleHasher(OutputWriter& out);

    // A switch ("-r", "-nr", "-m", "-c", whole word, any letter case) changes the state for the
    // parameters that follow it; every other parameter is a file specification and is scanned.
    void processParameter(std::string_view parameter);

    // Hashes and prints the files that match a file specification (a path whose last component may
    // hold '*' and '?'); with `Recursive` on, the same name mask is then applied in every sub-folder,
    // depth first. Entries of each folder come in byte order of their names. Folders that cannot be
    // listed and file patterns that match nothing print nothing.
    void ScanFileSpec(const std::string& spec);

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
        std::optional<WildcardMask> m_mask;
    };

    struct Entry {
        std::string name;
        unsigned char type; // d_type of the listing
    };

    // Prints the matching non-folder entries of `dir` (a path ending in '/'); `relative` is the part
    // of `dir` below BaseDir, already escaped for display, empty at the top level. With `subFolders` given,
    // also returns the names of the real sub-folders (never links to folders) in byte order.
    void scanFolder(const std::string& dir, const std::string& relative, const NameSelector& selector,
                    bool topLevel, std::vector<std::string>* subFolders);
    void printEntry(const std::string& dir, const std::string& relative, const std::string& name,
                    bool topLevel, bool hashable);

    void setHashType(std::uint8_t kind);

    OutputWriter& m_out;
    bool Recursive = false;
    std::uint8_t HashType = TFileHashing::KindMD5;
    std::unique_ptr<TFileHashing> FileHasher;
    std::string BaseDir;

    std::vector<Entry> m_entries; // listing of the folder being scanned, reused
    std::string m_path;           // path of the file being hashed, reused
    std::string m_line;           // output line being built, reused
};

} // namespace halcyra
