#include "shell/SubFolderTree.h"

#include "detection/FileSettings.h"

#include <algorithm>

namespace halcyra {

void SubFolderTree::fill(const SubFolderList& folders, const KeySet& excluded) {
    m_rows.clear();
    m_rows.reserve(folders.size());
    for (const auto& [key, depth] : folders) {
        SubFolderRow row;
        row.caption = key;
        row.depth = depth;
        setRow(row, excluded.find(key) == excluded.end());
        m_rows.push_back(std::move(row));
    }
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].depth == 0)
            SetDirChecked(i, m_rows[i].checked, true);
}

void SubFolderTree::setRow(SubFolderRow& row, bool checked) {
    row.checked = checked;
    row.stateImage = checked ? 1 : 0;
}

std::size_t SubFolderTree::subTreeEnd(std::size_t row) const {
    std::size_t end = row + 1;
    while (end < m_rows.size() && m_rows[end].depth > m_rows[row].depth)
        ++end;
    return end;
}

void SubFolderTree::SetDirChecked(std::size_t row, bool checked, bool noChildren) {
    if (row >= m_rows.size())
        return;
    setRow(m_rows[row], checked);
    if (!noChildren)
        for (std::size_t i = row + 1, end = subTreeEnd(row); i < end; ++i)
            setRow(m_rows[i], checked);
    if (checked) {
        // Walk up: each next shallower row above is an ancestor; a top-level row that is not the one
        // wanted means the row has no more ancestors.
        int wanted = m_rows[row].depth - 1;
        for (std::size_t i = row; i-- > 0 && wanted >= 0;) {
            if (m_rows[i].depth == wanted) {
                setRow(m_rows[i], true);
                --wanted;
            } else if (m_rows[i].depth == 0) {
                break;
            }
        }
    }
    renewPartialMarks(row);
}

void SubFolderTree::renewPartialMarks(std::size_t row) {
    std::size_t top = row;
    while (top > 0 && m_rows[top].depth != 0)
        --top;
    if (!m_rows[top].checked)
        return;
    std::size_t end = row + 1;
    while (end < m_rows.size() && m_rows[end].depth != 0)
        ++end;

    // One pass with the chain of open ancestors: when a row's sub-tree ends, an unchecked row in it (or the
    // row itself, unchecked) makes its parent partial.
    std::vector<char> uncheckedBelow(end - top, 0);
    std::vector<std::size_t> open;
    auto close = [&] {
        const std::size_t closed = open.back();
        open.pop_back();
        if (!open.empty() && (uncheckedBelow[closed - top] || !m_rows[closed].checked))
            uncheckedBelow[open.back() - top] = 1;
    };
    for (std::size_t i = top; i < end; ++i) {
        while (!open.empty() && m_rows[open.back()].depth >= m_rows[i].depth)
            close();
        open.push_back(i);
    }
    while (!open.empty())
        close();
    for (std::size_t i = top; i < end; ++i)
        if (m_rows[i].checked)
            m_rows[i].stateImage = uncheckedBelow[i - top] ? 2 : 1;
}

void SubFolderTree::setAllChecked(bool checked) {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].depth == 0)
            SetDirChecked(i, checked, false);
}

void SubFolderTree::setRowsChecked(std::vector<std::size_t> rows, bool checked) {
    std::sort(rows.begin(), rows.end());
    if (checked)
        std::reverse(rows.begin(), rows.end());
    for (std::size_t row : rows)
        SetDirChecked(row, checked, false);
}

void SubFolderTree::toggle(std::size_t row) {
    if (row < m_rows.size())
        SetDirChecked(row, !m_rows[row].checked, false);
}

bool SubFolderTree::noneChecked() const {
    return !m_rows.empty() &&
           std::none_of(m_rows.begin(), m_rows.end(), [](const SubFolderRow& row) { return row.checked; });
}

void SubFolderTree::collectExcluded(KeySet& excluded) const {
    for (const SubFolderRow& row : m_rows)
        excluded.erase(row.caption);
    for (const SubFolderRow& row : m_rows)
        if (!row.checked)
            excluded.insert(row.caption);
}

SubFolderSelection::SubFolderSelection(std::string profileName, FileSystem* fileSystem)
    : m_profileName(std::move(profileName)), m_fileSystem(fileSystem) {}

SubFolderList SubFolderSelection::listFolders(const std::string& folder, const FolderProgress& progress) {
    m_shownDir = folder;
    if (!m_excluded) {
        KeySet loaded;
        std::string ignored;
        TFileSettings::LoadExclusionDirs(m_profileName, &loaded, ignored);
        m_excluded = std::move(loaded);
    }
    SubFolderList folders;
    TTreeScanner::ListSubFolders(folder, &folders, progress, m_fileSystem);
    return folders;
}

void SubFolderSelection::showFolders(const SubFolderList& folders) {
    m_tree.fill(folders, m_excluded ? *m_excluded : KeySet{});
}

bool SubFolderSelection::CollectExcludedDirs() {
    if (m_shownDir.empty())
        return false;
    if (!m_excluded)
        m_excluded.emplace();
    m_tree.collectExcluded(*m_excluded);
    return true;
}

std::string SubFolderSelection::saveExcludedDirs() {
    std::string error;
    if (m_excluded)
        TFileSettings::SaveExclusionDirs(m_profileName, &*m_excluded, error);
    return error;
}

} // namespace halcyra
