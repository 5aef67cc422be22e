#pragma once

#include "base/AsciiCase.h"
#include "tools/ToolRows.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>

namespace halcyra {

// One line of an MD5 list file or of the clipboard text, without its line end: the hash text, one
// blank, and the name with every byte the list format cannot carry written as "<HH>" (control bytes,
// '<', and a blank at either end, which the reader would trim).
std::string md5ListLine(std::string_view hash, std::string_view name);

// Writes one MD5 list line (CR LF ended) for each selected row, in list order, to `fileName`, replacing
// the file whole or not at all: a new file gets 0666 less the umask, a replaced one keeps its mode, a link
// is written through, and anything but a regular file is refused. False with `errorText` =
// "Error writing to file: " + the reason.
bool saveMd5List(const std::string& fileName, const ToolRows& rows, const RowIndexes& selected,
                 std::string& errorText);

// The names and hashes of an MD5 list file.
class Md5List {
public:
    // Reads the file `fileName`: lines end at LF or CR LF, a lone CR is dropped, and the byte 26
    // (Ctrl+Z) ends the text. False with `errorText` = "Error reading from file: " + the reason.
    bool load(const std::string& fileName, std::string& errorText);

    // The hash listed for `name`: the entry of exactly that name, else the first listed entry whose name
    // differs only in ASCII letter case; null when none.
    const std::string* find(std::string_view name) const;
    std::size_t size() const { return m_exact.size(); }

private:
    struct CaseLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const {
            return orderIgnoringAsciiCase(a, b) < 0;
        }
    };
    // Takes one line: trimmed of bytes 32 and below at both ends, a line of 33 characters or fewer is
    // ignored; otherwise its first 32 characters are the hash and the rest, trimmed the same way and
    // unescaped, the name. A name already listed keeps its first hash.
    void addLine(std::string_view line);
    // Returns false once the byte 26 was met (nothing after it is read).
    bool addRawLine(std::string_view line);

    std::unordered_map<std::string, std::string> m_exact;
    std::map<std::string, std::string, CaseLess> m_folded;
};

// What a comparison of rows with an MD5 list found.
struct CompareOutcome {
    int different = 0;
    int notListed = 0;
    // Rows that differ, in list order: they end selected, every other compared row deselected.
    RowIndexes highlighted;
};

// The question shown for one difference.
std::string differenceText(std::string_view name, std::string_view fileHash, std::string_view listedHash);

// Compares each selected row, in list order, with the hash listed for its name. Hashes are compared
// without regard to ASCII case; the unreadable placeholder on either side is always a difference. For
// each difference `askContinue` gets differenceText while it has answered true so far.
CompareOutcome compareRows(const ToolRows& rows, const RowIndexes& selected, const Md5List& list,
                           const std::function<bool(const std::string&)>& askContinue);

// The summary of a comparison; empty when nothing differed and every row was listed.
std::string compareSummary(const CompareOutcome& outcome);

inline constexpr std::string_view NoDifferencesText = "No differences found.";

} // namespace halcyra
