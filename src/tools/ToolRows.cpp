#include "tools/ToolRows.h"

#include "base/IOStream.h"
#include "base/LongPath.h"
#include "base/Paths.h"
#include "hashing/Hashing.h"
#include "tools/Md5List.h"
#include "tools/ToolPass.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

// Whether the current collation is plain byte order.
bool bytewiseCollation() {
    const char* name = std::setlocale(LC_COLLATE, nullptr);
    return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

// The collation key of `text` (strxfrm), cut at its first NUL byte, which no file name holds.
std::string collationKey(std::string_view text) {
    const std::string source(text.substr(0, text.find('\0')));
    std::string key(source.size() * 4 + 16, '\0');
    std::size_t needed = std::strxfrm(key.data(), source.c_str(), key.size());
    if (needed >= key.size()) {
        key.assign(needed + 1, '\0');
        needed = std::strxfrm(key.data(), source.c_str(), key.size());
    }
    key.resize(std::min(needed, key.size()));
    return key;
}

template <class Less> void permuteSorted(ToolRows& rows, Less less) {
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), less);
    ToolRows sorted;
    sorted.reserve(rows.size());
    for (std::size_t index : order)
        sorted.push_back(std::move(rows[index]));
    rows = std::move(sorted);
}

} // namespace

std::string rowHash(std::string hashText) {
    if (hashText.empty())
        return std::string(CannotOpenFilePlaceholder);
    return hashText;
}

void sortRowsByName(ToolRows& rows) {
    if (bytewiseCollation()) {
        permuteSorted(rows, [&](std::size_t a, std::size_t b) { return rows[a].Name() < rows[b].Name(); });
        return;
    }
    std::vector<std::string> keys;
    keys.reserve(rows.size());
    for (const ToolRow& row : rows)
        keys.push_back(collationKey(row.Name()));
    permuteSorted(rows, [&](std::size_t a, std::size_t b) {
        if (keys[a] != keys[b])
            return keys[a] < keys[b];
        return rows[a].Name() < rows[b].Name();
    });
}

void sortRowsByHash(ToolRows& rows) {
    permuteSorted(rows, [&](std::size_t a, std::size_t b) { return rows[a].Hash < rows[b].Hash; });
}

void removeRows(ToolRows& rows, const std::vector<bool>& remove) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i < remove.size() && remove[i])
            continue;
        if (kept != i)
            rows[kept] = std::move(rows[i]);
        ++kept;
    }
    rows.resize(kept);
}

std::string clipboardText(const ToolRows& rows, const RowIndexes& selected) {
    if (selected.size() == 1)
        return rows[selected.front()].Hash;
    std::string text;
    for (std::size_t index : selected) {
        text += md5ListLine(rows[index].Hash, rows[index].Name());
        text += "\r\n";
    }
    return text;
}

std::optional<std::string> searchValue(std::string_view typed) {
    if (typed.size() != 32)
        return std::nullopt;
    std::string value(typed);
    for (char& c : value)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return value;
}

bool isGroupableHash(std::string_view hash) {
    return !hash.empty() && hash != EmptyFileMD5 && hash != CannotOpenFilePlaceholder;
}

void GroupDuplicates(ToolRows& rows) {
    std::vector<bool> remove(rows.size(), true);
    bool mark = true; // toggles before the first group, which therefore gets the empty mark
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t end = i + 1;
        while (end < rows.size() && rows[end].Hash == rows[i].Hash)
            ++end;
        if (end - i >= 2 && isGroupableHash(rows[i].Hash)) {
            mark = !mark;
            for (std::size_t j = i; j < end; ++j) {
                rows[j].Mark = mark;
                remove[j] = false;
            }
        }
        i = end;
    }
    removeRows(rows, remove);
}

namespace {

// Whether the file at `path` carries any write permission bit (a file without one counts as read-only
// for everybody, as a read-only attribute would).
bool hasWriteBit(const std::string& path) {
    struct stat info {};
    return statLongPath(path, info, true) == 0 && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Removes the directory entry `path` (a link itself, not its target), whatever the path's length.
bool unlinkFile(const std::string& path) {
    const std::string folder(folderPart(path));
    const int dir =
        openLongPath(folder.empty() ? std::string(".") : folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const std::string name(namePart(path));
    const bool removed = ::unlinkat(dir, name.c_str(), 0) == 0 || errno == ENOENT;
    ::close(dir);
    return removed;
}

} // namespace

std::vector<bool> deleteSelectedFiles(const ToolRows& rows, const RowIndexes& selected,
                                      PassProgress& progress,
                                      const std::function<void(const std::string&)>& reportError) {
    std::vector<bool> remove(rows.size(), false);
    TFileHashing hasher(TFileHashing::KindMD5);
    const std::function<bool()> stop = [&progress] { return progress.stopRequested(); };
    for (std::size_t index : selected) {
        const ToolRow& row = rows[index];
        if (!fileExists(row.Path)) {
            remove[index] = true; // already gone: the row goes
        } else {
            const bool same = hasher.HashFile(row.Path, stop) == row.Hash;
            if (hasher.LastHashStopped())
                break;
            remove[index] = same && hasWriteBit(row.Path) && unlinkFile(row.Path);
            if (!remove[index] && reportError)
                reportError("Cannot delete " + row.Path);
        }
        if (progress.fileDone(row.Path))
            break;
    }
    return remove;
}

} // namespace halcyra
