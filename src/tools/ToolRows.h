#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class PassProgress;

// One row of a hash tool window: one file with its hash text.
struct ToolRow {
    // Full path of the file; every action on the row uses it.
    std::string Path;
    // Where the shown name begins in Path: after the folder for a bare or relative name, 0 for the
    // full path.
    std::uint32_t NameAt = 0;
    // Hash text, or the unreadable placeholder.
    std::string Hash;
    // Duplicates: the group mark "." (second, fourth ... group); false = the empty mark.
    bool Mark = false;

    std::string_view Name() const { return std::string_view(Path).substr(NameAt); }
};
using ToolRows = std::vector<ToolRow>;

// Row indexes in list order.
using RowIndexes = std::vector<std::size_t>;

// The hash text a row shows for HashFile's result: the placeholder when the file could not be read.
std::string rowHash(std::string hashText);

// Sorts rows by their shown names in the collation order of the current locale (LC_COLLATE), names
// that collate equal in byte order.
void sortRowsByName(ToolRows& rows);

// Sorts rows by hash text, keeping the order of rows with equal hashes.
void sortRowsByHash(ToolRows& rows);

// Removes the rows whose flag is set, keeping the order of the others. `remove` has one flag per row.
void removeRows(ToolRows& rows, const std::vector<bool>& remove);

// The clipboard text of the MD5 values window: one row gives its hash alone, without a line end;
// several give one MD5 list line each ("hash name" and CR LF), in list order; none gives "".
std::string clipboardText(const ToolRows& rows, const RowIndexes& selected);

// The error text shown when a search value does not have 32 characters.
inline constexpr std::string_view SearchValueLengthText =
    "MD5 hash values contain exactly 32 characters of letters and numbers";

// The value to search for: `typed` with the letters a to z upper-cased (no other byte changes);
// nothing when it does not have exactly 32 characters.
std::optional<std::string> searchValue(std::string_view typed);

// Whether rows with this hash text can form a group of duplicates: not an empty text, not the MD5 of
// an empty file and not the unreadable placeholder.
bool isGroupableHash(std::string_view hash);

// Over rows sorted by hash: removes every row whose hash no other row shares or that cannot form a
// group (isGroupableHash), and marks the groups left empty, ".", empty ... in list order.
void GroupDuplicates(ToolRows& rows);

// Deletes the files of the selected rows of a duplicates list, in list order, permanently. A file is
// deleted only when it still exists, still has its row's hash and has a write permission bit; any
// other file that exists, or one that cannot be deleted, is reported as "Cannot delete " + path through
// `reportError` and its row is kept. Each file is hashed again as a pass hashes it (`progress` polled
// between its blocks) and reported done with its path; when `progress` asks to stop, the files not yet
// handled (and the one stopped in the middle of its check) are left and keep their rows. Returns one
// flag per row: remove it (its file was deleted or was already gone).
std::vector<bool> deleteSelectedFiles(const ToolRows& rows, const RowIndexes& selected,
                                      PassProgress& progress,
                                      const std::function<void(const std::string&)>& reportError);

} // namespace halcyra
