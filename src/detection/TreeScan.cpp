#include "detection/TreeScan.h"

#include "base/Paths.h"
#include "detection/Clock.h"
#include "detection/FolderListing.h"
#include "detection/IOStream.h"

namespace halcyra {

namespace {

constexpr std::chrono::milliseconds ListingRetryDelay{5000};

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlankOrControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlankOrControl(text.back()))
        text.remove_suffix(1);
    return text;
}

// One level of a depth-first walk: the sub-folder names still to visit below the folder whose path
// (or relative path) is the first `pathLength` bytes of the walk's current path.
struct WalkFrame {
    std::vector<std::string> subFolders;
    std::size_t next = 0;
    std::size_t pathLength = 0;
    int depth = 0;
};

} // namespace

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
    const std::string_view folder = trimmed(dir);
    if (folder.empty()) {
        errorText = "Internal errror: There is no directory/file to scan";
        return false;
    }
    m_root = withTrailingSlash(folder);

    // Depth first without recursion, so that no depth of tree can exhaust the stack.
    std::string path = m_root;
    std::vector<std::string> subFolders;
    scanFolder(path, true, recurse, subFolders, errorText);
    std::vector<WalkFrame> stack;
    if (recurse && !subFolders.empty())
        stack.push_back(WalkFrame{std::move(subFolders), 0, path.size(), 0});
    while (!stack.empty() && !m_aborted && errorText.empty()) {
        WalkFrame& top = stack.back();
        if (top.next == top.subFolders.size()) {
            stack.pop_back();
            continue;
        }
        path.resize(top.pathLength);
        path += top.subFolders[top.next];
        path += '/';
        std::string().swap(top.subFolders[top.next++]);
        subFolders.clear();
        scanFolder(path, false, recurse, subFolders, errorText);
        if (!subFolders.empty())
            stack.push_back(WalkFrame{std::move(subFolders), 0, path.size(), 0});
    }
    return !m_aborted && errorText.empty();
}

void TTreeScanner::scanFolder(const std::string& folder, bool isRoot, bool recurse,
                              std::vector<std::string>& subFolders, std::string& errorText) {
    int error = 0;
    std::unique_ptr<FolderListing> listing = m_fileSystem.openFolder(folder, isRoot, error);
    if (!listing) {
        m_clock.sleepFor(ListingRetryDelay);
        listing = m_fileSystem.openFolder(folder, isRoot, error);
    }
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
                FileFacts facts;
                if (!listing->fileFacts(facts))
                    continue; // not a regular file after all, or gone since it was listed
                TFileDetails details;
                details.Size = facts.size;
                details.DateTime = fileDateTime(facts.modified);
                std::string key;
                if (m_mode == 0) {
                    key.reserve(folder.size() + entry.name.size());
                    key.assign(folder);
                } else {
                    key.reserve(folder.size() - relativeStart + entry.name.size());
                    key.assign(folder, relativeStart, std::string::npos);
                }
                key.append(entry.name);
                addEntry(std::move(key), details);
            }
        }
        error = listing->error();
        listing.reset();
    }
    if (error != 0)
        errorText = "Error scanning \"" + folder + "\" : " + systemMessage(error);
    if (OnDirectory && OnDirectory(folder))
        m_aborted = true;
}

void TTreeScanner::addEntry(std::string&& key, const TFileDetails& details) {
    if (m_mode == 0) {
        m_plainList->insert_or_assign(std::move(key), details);
        return;
    }
    // A new entry starts with no stored side, not excluded, status 0; a known one gets its New side
    // (re)placed, the previous record being released.
    auto [entry, inserted] = m_compareList->try_emplace(std::move(key));
    (void)inserted;
    entry->second.New = std::make_unique<TFileDetails>(details);
}

bool TTreeScanner::FreeFileList(std::unique_ptr<CompareList>& list) {
    list.reset();
    return true;
}

void TTreeScanner::ListSubFolders(std::string_view root, SubFolderList* list, const FolderProgress& progress,
                                  FileSystem* fileSystem) {
    if (list == nullptr)
        return;
    FileSystem& files = fileSystem ? *fileSystem : FileSystem::real();
    const std::string base = withTrailingSlash(root);
    std::string relative;
    std::string key;
    std::vector<WalkFrame> stack;

    // Lists the folder at `relative` and, when it has sub-folders, makes it the walk's next level.
    auto enter = [&](int depth) {
        if (progress)
            progress(relative);
        int error = 0;
        const auto listing = files.openFolder(base + relative, relative.empty(), error);
        if (!listing)
            return;
        WalkFrame frame{{}, 0, relative.size(), depth};
        FolderEntry entry;
        while (listing->next(entry))
            if (entry.kind == FolderEntryKind::Folder)
                frame.subFolders.emplace_back(entry.name);
        if (!frame.subFolders.empty())
            stack.push_back(std::move(frame));
    };

    enter(0);
    while (!stack.empty()) {
        WalkFrame& top = stack.back();
        if (top.next == top.subFolders.size()) {
            stack.pop_back();
            continue;
        }
        const int depth = top.depth;
        relative.resize(top.pathLength);
        relative += top.subFolders[top.next];
        relative += '/';
        std::string().swap(top.subFolders[top.next++]);
        key.assign(1, '/');
        key += relative;
        list->try_emplace(key, depth);
        enter(depth + 1);
    }
}

} // namespace halcyra
