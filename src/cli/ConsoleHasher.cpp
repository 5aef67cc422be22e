#include "cli/ConsoleHasher.h"

#include "base/AsciiCase.h"
#include "base/LineEscape.h"
#include "base/Paths.h"

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace halcyra {

namespace {

enum class EntryKind {
    File,       // a regular file, or a link to one: hashed
    Unhashable, // FIFO, socket, device, dangling link: listed with the placeholder, never opened
    Folder,     // a real folder: skipped, descended into with recursion on
    FolderLink, // a link to a folder: skipped, never descended into
    Gone,       // vanished since it was listed: skipped
};

EntryKind kindOfStat(const struct stat& st) {
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    return S_ISDIR(st.st_mode) ? EntryKind::Folder : EntryKind::Unhashable;
}

// What the entry `name` of the open folder `dirFd` is; `type` is the listing's d_type (DT_UNKNOWN
// when unknown). `dirFd` may be AT_FDCWD with `name` a whole path.
EntryKind classify(int dirFd, const char* name, unsigned char type) {
    struct stat st;
    switch (type) {
    case DT_REG:
        return EntryKind::File;
    case DT_DIR:
        return EntryKind::Folder;
    case DT_LNK:
        break;
    case DT_UNKNOWN:
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::Gone;
        if (!S_ISLNK(st.st_mode))
            return kindOfStat(st);
        break;
    default:
        return EntryKind::Unhashable;
    }
    // A symbolic link: its target decides.
    if (fstatat(dirFd, name, &st, 0) != 0)
        return fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? EntryKind::Unhashable : EntryKind::Gone;
    const EntryKind target = kindOfStat(st);
    return target == EntryKind::Folder ? EntryKind::FolderLink : target;
}

bool isRealFolder(int dirFd, const char* name, unsigned char type) {
    return type == DT_DIR || (type == DT_UNKNOWN && classify(dirFd, name, type) == EntryKind::Folder);
}

} // namespace

ConsoleHasher::NameSelector::NameSelector(std::string_view mask) {
    if (mask.find_first_of("*?") == std::string_view::npos)
        m_exact = mask;
    else
        m_mask = WildcardMask::compile(mask, WildcardMask::Syntax::DirectorySearch);
}

bool ConsoleHasher::NameSelector::matches(std::string_view name) const {
    return m_mask ? m_mask->matches(name) : name == m_exact;
}

ConsoleHasher::ConsoleHasher(OutputWriter& out)
    : m_out(out), FileHasher(std::make_unique<TFileHashing>(HashType)) {}

void ConsoleHasher::processParameter(std::string_view parameter) {
    if (equalsIgnoringAsciiCase(parameter, "-r"))
        Recursive = true;
    else if (equalsIgnoringAsciiCase(parameter, "-nr"))
        Recursive = false;
    else if (equalsIgnoringAsciiCase(parameter, "-m"))
        setHashType(TFileHashing::KindMD5);
    else if (equalsIgnoringAsciiCase(parameter, "-c"))
        setHashType(TFileHashing::KindCRC32);
    else
        ScanFileSpec(std::string(parameter));
}

void ConsoleHasher::setHashType(std::uint8_t kind) {
    if (HashType == kind)
        return;
    FileHasher.reset();
    HashType = kind;
    FileHasher = std::make_unique<TFileHashing>(HashType);
}

void ConsoleHasher::ScanFileSpec(const std::string& spec) {
    const NameSelector selector(namePart(spec));
    std::string dir(folderPart(spec));
    if (dir.empty()) {
        dir = currentFolder();
        if (dir.empty())
            dir = "./"; // the current folder has no name any more; it may still be listed
    }
    BaseDir = dir;
    if (!Recursive) {
        scanFolder(dir, {}, selector, true, nullptr);
        return;
    }

    // Depth first without recursion: each level keeps the sub-folders it has still to visit.
    // Paths longer than the system accepts cannot be opened, which bounds the depth.
    struct Level {
        std::string dir;
        std::vector<std::string> subFolders;
        std::size_t next = 0;
    };
    std::vector<Level> levels;
    levels.push_back(Level{dir, {}, 0});
    scanFolder(dir, {}, selector, true, &levels.back().subFolders);
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.subFolders.size()) {
            levels.pop_back();
            continue;
        }
        std::string child = level.dir + level.subFolders[level.next++] + '/';
        levels.push_back(Level{std::move(child), {}, 0});
        Level& top = levels.back();
        scanFolder(top.dir, escapeLine(std::string_view(top.dir).substr(BaseDir.size())), selector, false,
                   &top.subFolders);
    }
}

void ConsoleHasher::scanFolder(const std::string& dir, const std::string& relative,
                               const NameSelector& selector, bool topLevel,
                               std::vector<std::string>* subFolders) {
    if (selector.isExactName() && subFolders == nullptr) {
        // One named entry: no need to list the folder.
        const std::string& name = selector.exactName();
        if (name.empty() || name == "." || name == "..")
            return;
        m_path.assign(dir).append(name);
        const EntryKind kind = classify(AT_FDCWD, m_path.c_str(), DT_UNKNOWN);
        if (kind == EntryKind::File || kind == EntryKind::Unhashable)
            printEntry(dir, relative, name, topLevel, kind == EntryKind::File);
        return;
    }

    DIR* folder = opendir(dir.c_str());
    if (folder == nullptr)
        return;
    m_entries.clear();
    while (const dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        m_entries.push_back(Entry{name, entry->d_type});
    }
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });

    const int fd = dirfd(folder);
    for (const Entry& entry : m_entries) {
        if (!selector.matches(entry.name))
            continue;
        const EntryKind kind = classify(fd, entry.name.c_str(), entry.type);
        if (kind == EntryKind::File || kind == EntryKind::Unhashable)
            printEntry(dir, relative, entry.name, topLevel, kind == EntryKind::File);
    }
    if (subFolders != nullptr) {
        for (Entry& entry : m_entries)
            if (isRealFolder(fd, entry.name.c_str(), entry.type))
                subFolders->push_back(std::move(entry.name));
    }
    closedir(folder);
}

void ConsoleHasher::printEntry(const std::string& dir, const std::string& relative, const std::string& name,
                               bool topLevel, bool hashable) {
    std::string hash;
    if (hashable) {
        m_path.assign(dir).append(name);
        hash = FileHasher->HashFile(m_path);
    }
    m_line.assign(hash.empty() ? CannotOpenFilePlaceholder : std::string_view(hash));
    m_line += ' ';
    if (!topLevel)
        m_line += relative;
    m_line += escapeLine(name);
    m_line += "\r\n";
    m_out.write(m_line);
}

} // namespace halcyra
