#pragma once

#include "detection/FileKey.h"
#include "detection/TreeScan.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class FileSystem;

// One row of the sub-folder tree: a folder below the watched folder.
struct SubFolderRow {
    std::string caption; // its relative folder key, "/a/b/"
    int depth = 0;       // 0 for a folder directly inside the watched folder
    bool checked = true; // the folder is scanned
    // 0 unchecked, 1 checked, 2 checked while some folder below it is unchecked.
    std::uint8_t stateImage = 1;

    // The small picture: 1 checked, 0 unchecked.
    int smallImage() const { return checked ? 1 : 0; }
};

// The sub-folders of the watched folder as a flat list in key order, each folder followed directly by the
// folders below it; a row's sub-tree is the rows after it that are deeper than it. Each row keeps its own
// check mark: unchecking a folder unchecks its sub-tree, checking one checks its sub-tree and its ancestors,
// and checked rows with an unchecked folder somewhere below them are marked partial.
class SubFolderTree {
public:
    // Replaces the rows with `folders`, each checked unless its key is in `excluded`, then sets the partial
    // marks of every top-level group.
    void fill(const SubFolderList& folders, const KeySet& excluded);
    void clear() { m_rows.clear(); }

    std::size_t size() const { return m_rows.size(); }
    bool empty() const { return m_rows.empty(); }
    const SubFolderRow& row(std::size_t index) const { return m_rows[index]; }

    // Sets the check mark of `row` (and, unless `noChildren`, of its whole sub-tree), checks the ancestors
    // of a checked row, then renews the partial marks of the row's top-level group.
    void SetDirChecked(std::size_t row, bool checked, bool noChildren);

    // Every top-level row with its sub-tree.
    void setAllChecked(bool checked);
    // The given rows (in any order): checked from the last to the first, unchecked from the first to the
    // last.
    void setRowsChecked(std::vector<std::size_t> rows, bool checked);
    void toggle(std::size_t row);

    // Whether there are rows and none of them is checked.
    bool noneChecked() const;

    // Brings `excluded` in line with the rows: keys of rows are dropped, then the unchecked rows' keys are
    // added. Keys of folders that are not rows (absent or unreachable now) stay.
    void collectExcluded(KeySet& excluded) const;

private:
    void setRow(SubFolderRow& row, bool checked);
    std::size_t subTreeEnd(std::size_t row) const;
    void renewPartialMarks(std::size_t row);

    std::vector<SubFolderRow> m_rows;
};

// The sub-folder selection of one profile's set-up: the tree of the folder on show and the profile's
// folder exclusion list, loaded from its file on first use and then kept in memory until it is saved.
class SubFolderSelection {
public:
    // Null `fileSystem`: the real one.
    explicit SubFolderSelection(std::string profileName, FileSystem* fileSystem = nullptr);

    // The folder whose sub-folders the tree shows; empty until the tree was filled.
    const std::string& shownDir() const { return m_shownDir; }
    // Whether the tree must be filled for `folder`: it is not empty and is not the folder on show (compared
    // exactly).
    bool needsFill(std::string_view folder) const { return !folder.empty() && folder != m_shownDir; }
    // Makes the next needsFill() true, so that Refresh lists the folders again.
    void forgetShownDir() { m_shownDir.clear(); }

    // First step of filling: `folder` becomes the folder on show, the exclusion list is loaded when it is not
    // yet, and the sub-folders are listed (`progress` is told each folder before it is listed). A folder that
    // cannot be listed gives no sub-folders.
    SubFolderList listFolders(const std::string& folder, const FolderProgress& progress = {});
    // Second step: the rows of `folders`, checked unless excluded.
    void showFolders(const SubFolderList& folders);

    // Folds the tree's check marks into the exclusion list. False, with the list untouched, when the tree was
    // never filled.
    bool CollectExcludedDirs();

    // Writes the exclusion list to the profile's folder exclusion file. Returns the empty text, or the
    // error text of a write that failed (the previous file is then left as it was).
    std::string saveExcludedDirs();

    SubFolderTree& tree() { return m_tree; }
    const SubFolderTree& tree() const { return m_tree; }
    // The exclusion list; null until it was loaded.
    const KeySet* excludedDirs() const { return m_excluded ? &*m_excluded : nullptr; }

private:
    std::string m_profileName;
    FileSystem* m_fileSystem;
    std::string m_shownDir;
    std::optional<KeySet> m_excluded;
    SubFolderTree m_tree;
};

} // namespace halcyra
