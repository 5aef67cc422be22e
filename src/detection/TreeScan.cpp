#include "detection/TreeScan.h"

#include "base/Clock.h"
#include "base/IOStream.h"
#include "base/Paths.h"
#include "detection/FolderListing.h"

#include <algorithm>
#include <cerrno>

namespace halcyra {

namespace {

constexpr std::chrono::milliseconds ListingRetryDelay{5000};

// Folders below the starting one that a walk keeps open at most (the deepest ones on its path).
constexpr std::size_t MaxOpenLevels = 32;

// A listing that failed this way found the sub-folder gone or no longer a folder.
bool vanished(int error) {
    return error == ENOENT || error == ENOTDIR;
}

} // namespace

// A depth-first walk below one starting folder, without recursion, so that no depth of tree can
// exhaust the stack. Each level on the current path that still has sub-folders to visit keeps its
// folder open, and each sub-folder is opened relative to its parent, so paths of any length work. Only
// the deepest MaxOpenLevels levels (and the starting folder) stay open; a level whose folder was closed
// reopens it, one name at a time from the starting folder, when its turn comes again.
class TreeWalk {
public:
    TreeWalk(FileSystem& files, std::string root) : m_files(files), m_path(std::move(root)) {}

    // The current folder's full path, with a trailing '/'.
    const std::string& path() const { return m_path; }
    bool atRoot() const { return m_atRoot; }
    // The current folder's depth: 0 directly below the starting folder.
    int depth() const { return m_depth; }

    // Opens the current folder's listing; null with `error` set when it cannot be started.
    std::unique_ptr<FolderListing> open(int& error) {
        if (m_atRoot)
            return m_files.openFolder(m_path, true, error);
        Level& top = m_levels.back();
        if (!top.folder && !reopenTop(error))
            return nullptr;
        return m_files.openSubFolder(*top.folder, m_name, m_path, error);
    }

    // Makes `subFolders` of the current folder (open as `folder`) the next ones to visit.
    void descend(std::unique_ptr<FolderListing> folder, std::vector<std::string>&& subFolders) {
        folder->endPass();
        m_levels.push_back(Level{std::move(folder), std::move(subFolders), 0, m_path.size(), m_depth});
        // The open levels below the starting folder are always the deepest ones: close the shallowest.
        while (m_levels.size() - m_firstOpen > MaxOpenLevels)
            m_levels[m_firstOpen++].folder.reset();
    }

    // Moves to the next folder; false when the walk is complete.
    bool next() {
        m_atRoot = false;
        while (!m_levels.empty()) {
            Level& top = m_levels.back();
            if (top.next < top.subFolders.size()) {
                m_path.resize(top.pathLength);
                m_name = std::move(top.subFolders[top.next++]);
                m_path += m_name;
                m_path += '/';
                m_depth = top.depth + 1;
                return true;
            }
            m_levels.pop_back();
            m_firstOpen = std::min(m_firstOpen, m_levels.size());
        }
        return false;
    }

private:
    struct Level {
        std::unique_ptr<FolderListing> folder; // null once closed
        std::vector<std::string> subFolders;
        std::size_t next = 0;
        std::size_t pathLength = 0; // of the folder's path
        int depth = 0;              // of the folder
    };

    // Every level between the starting folder and a closed deepest level is closed too.
    bool reopenTop(int& error) {
        std::unique_ptr<FolderListing> folder;
        FolderListing* parent = m_levels.front().folder.get();
        for (std::size_t k = 1; k < m_levels.size(); ++k) {
            const std::size_t start = m_levels[k - 1].pathLength;
            const std::size_t length = m_levels[k].pathLength - start - 1;
            folder = m_files.openSubFolder(*parent, std::string_view(m_path).substr(start, length),
                                           m_path.substr(0, m_levels[k].pathLength), error);
            if (!folder)
                return false;
            folder->endPass();
            parent = folder.get();
        }
        m_levels.back().folder = std::move(folder);
        m_firstOpen = m_levels.size() - 1;
        return true;
    }

    FileSystem& m_files;
    std::string m_path;
    std::string m_name; // of the current folder
    bool m_atRoot = true;
    int m_depth = -1;
    std::vector<Level> m_levels;
    std::size_t m_firstOpen = 1; // levels from here to the deepest are open, and the first one
};

TTreeScanner::TTreeScanner(PlainList& fileList, FileSystem* fileSystem, Clock* clock)
    : m_plainList(&fileList), m_mode(0), m_fileSystem(fileSystem ? *fileSystem : FileSystem::real()),
      m_clock(clock ? *clock : Clock::system()) {}

TTreeScanner::TTreeScanner(CompareList& fileList, FileSystem* fileSystem, Clock* clock)
    : m_compareList(&fileList), m_mode(1), m_fileSystem(fileSystem ? *fileSystem : FileSystem::real()),
      m_clock(clock ? *clock : Clock::system()) {}

std::string TTreeScanner::SetIncludeMasks(std::string_view text) {
    m_includeMasksSet = true;
    m_includeError = m_includeMasks.assign(text, true);
    return m_includeError;
}

std::string TTreeScanner::SetExcludeMasks(std::string_view text) {
    m_excludeError = m_excludeMasks.assign(text, false);
    return m_excludeError;
}

bool TTreeScanner::Accept(std::string_view fileName) const {
    return m_includeMasks.matchesAny(fileName) && !m_excludeMasks.matchesAny(fileName);
}

std::string TTreeScanner::RelativeName(std::string_view fullPath) const {
    const std::size_t start = m_root.empty() ? 0 : m_root.size() - 1;
    return start <= fullPath.size() ? std::string(fullPath.substr(start)) : std::string();
}

bool TTreeScanner::Scan(std::string_view dir, bool recurse, std::string& errorText) {
    errorText.clear();
    if (!m_includeMasksSet)
        SetIncludeMasks("*.*");
    if (!m_includeError.empty() || !m_excludeError.empty()) {
        errorText = !m_includeError.empty() ? m_includeError : m_excludeError;
        return false;
    }
    // The folder exactly as given: blanks and control characters can be part of a name.
    if (dir.empty()) {
        errorText = "Internal errror: There is no directory/file to scan";
        return false;
    }
    m_root = withTrailingSlash(dir);

    TreeWalk walk(m_fileSystem, m_root);
    std::vector<std::string> subFolders;
    do {
        subFolders.clear();
        std::unique_ptr<FolderListing> folder = scanFolder(walk, recurse, subFolders, errorText);
        if (folder && !subFolders.empty() && !m_aborted && errorText.empty())
            walk.descend(std::move(folder), std::move(subFolders));
    } while (!m_aborted && errorText.empty() && walk.next());
    return !m_aborted && errorText.empty();
}

std::unique_ptr<FolderListing> TTreeScanner::scanFolder(TreeWalk& walk, bool recurse,
                                                        std::vector<std::string>& subFolders,
                                                        std::string& errorText) {
    const std::string& folder = walk.path();
    // A sub-folder that is gone since its parent was listed is treated like a vanished file: its files
    // are absent, and it is no error.
    int error = 0;
    std::unique_ptr<FolderListing> listing = walk.open(error);
    if (!listing && !(vanished(error) && !walk.atRoot())) {
        m_clock.sleepFor(ListingRetryDelay);
        listing = walk.open(error);
    }
    if (!listing && vanished(error) && !walk.atRoot())
        return nullptr;
    if (listing) {
        const std::size_t relativeStart = m_root.size() - 1;
        FolderEntry entry;
        while (listing->next(entry)) {
            if (entry.kind == FolderEntryKind::Folder) {
                if (!recurse)
                    continue;
                if (m_excludedDirs != nullptr) {
                    m_keyBuffer.assign(folder, relativeStart, std::string::npos);
                    m_keyBuffer.append(entry.name);
                    m_keyBuffer += '/';
                    if (m_excludedDirs->find(std::string_view(m_keyBuffer)) != m_excludedDirs->end())
                        continue;
                }
                subFolders.emplace_back(entry.name);
            } else if (entry.kind == FolderEntryKind::File && Accept(entry.name)) {
                const bool unseen = LookLater && m_mode == 1 && entry.regular;
                FileFacts facts;
                if (!unseen && !listing->fileFacts(facts))
                    continue; // not a regular file after all, or gone since it was listed
                TFileDetails details;
                if (!unseen) {
                    details.Size = facts.size;
                    details.DateTime = fileDateTime(facts.modified);
                }
                std::string key;
                if (m_mode == 0) {
                    key.reserve(folder.size() + entry.name.size());
                    key.assign(folder);
                } else {
                    key.reserve(folder.size() - relativeStart + entry.name.size());
                    key.assign(folder, relativeStart, std::string::npos);
                }
                key.append(entry.name);
                if (!addEntry(std::move(key), details, unseen)) {
                    m_aborted = true;
                    return nullptr;
                }
            }
        }
        error = listing->error();
        listing->endPass();
    }
    if (error != 0)
        errorText = "Error scanning \"" + folder + "\" : " + systemMessage(error);
    if (OnDirectory && OnDirectory(folder))
        m_aborted = true;
    return listing;
}

bool TTreeScanner::addEntry(std::string&& key, const TFileDetails& details, bool unseen) {
    if (m_mode == 0) {
        m_plainList->insert_or_assign(std::move(key), details);
        return true;
    }
    // A new entry starts with no stored side, not excluded, status 0; a known one gets its New side
    // (re)placed.
    auto [entry, inserted] = m_compareList->try_emplace(std::move(key));
    (void)inserted;
    if (entry->second.New)
        *entry->second.New = details;
    else
        entry->second.New = std::make_unique<TFileDetails>(details);
    return !OnFile || !OnFile(entry, unseen);
}

bool TTreeScanner::FreeFileList(std::unique_ptr<CompareList>& list) {
    list.reset();
    return true;
}

void TTreeScanner::ListSubFolders(std::string_view root, SubFolderList* list, const FolderProgress& progress,
                                  FileSystem* fileSystem) {
    if (list == nullptr)
        return;
    const std::string base = withTrailingSlash(root);
    TreeWalk walk(fileSystem ? *fileSystem : FileSystem::real(), base);
    std::string key;
    std::vector<std::string> subFolders;
    do {
        const std::string_view relative = std::string_view(walk.path()).substr(base.size());
        if (!walk.atRoot()) {
            key.assign(1, '/');
            key += relative;
            list->try_emplace(key, walk.depth());
        }
        if (progress)
            progress(std::string(relative));
        int error = 0;
        std::unique_ptr<FolderListing> folder = walk.open(error);
        if (!folder)
            continue; // nothing below a folder that cannot be listed
        subFolders.clear();
        FolderEntry entry;
        while (folder->next(entry))
            if (entry.kind == FolderEntryKind::Folder)
                subFolders.emplace_back(entry.name);
        if (!subFolders.empty())
            walk.descend(std::move(folder), std::move(subFolders));
    } while (walk.next());
}

} // namespace halcyra
