#include "cli/ConsoleHasher.h"

#include "base/AsciiCase.h"
#include "base/LineEscape.h"
#include "base/LongPath.h"
#include "base/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace halcyra {

namespace {

// Folders of the walk kept open at once; the outer ones beyond this are closed and reopened by
// path when the walk comes back to them, so no depth runs out of descriptors.
constexpr std::size_t MaxOpenLevels = 256;

// Lines held for the hash pool at most (most of them files the pool is hashing ahead).
constexpr std::size_t MaxHeldLines = 4096;

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
// when unknown). For a File, `st` receives its stat (links followed).
EntryKind classify(int dirFd, const char* name, unsigned char type, struct stat& st) {
    switch (type) {
    case DT_DIR:
        return EntryKind::Folder;
    case DT_REG:
    case DT_UNKNOWN:
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return EntryKind::Gone;
        if (!S_ISLNK(st.st_mode))
            return kindOfStat(st);
        break;
    case DT_LNK:
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
    struct stat st;
    return type == DT_DIR ||
           (type == DT_UNKNOWN && fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode));
}

// Errors that mean the folder is simply not there (any more), or is not a real folder.
bool meansAbsent(int error) {
    return error == ENOENT || error == ENOTDIR || error == ELOOP;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

} // namespace

struct ConsoleHasher::Level {
    std::string dir;      // the folder's path, with a trailing '/'
    std::string relative; // the part of `dir` below BaseDir, escaped for display
    UniqueFd fd;          // the open folder; closed for far outer levels
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<std::string> subFolders;
    std::size_t next = 0;
};

ConsoleHasher::NameSelector::NameSelector(std::string_view mask) {
    if (mask.find_first_of("*?") == std::string_view::npos)
        m_exact = mask;
    else
        m_mask.emplace(mask);
}

bool ConsoleHasher::NameSelector::matches(std::string_view name) const {
    return m_mask ? m_mask->matches(name) : name == m_exact;
}

ConsoleHasher::ConsoleHasher(OutputWriter& out, ErrorSink errors, unsigned hashThreads)
    : m_out(out), m_errors(std::move(errors)), FileHasher(std::make_unique<TFileHashing>(HashType)),
      m_maxThreads(hashThreads), m_waitPoll([this] {
          keepOutputLive(now(), true);
          return false;
      }) {}

ConsoleHasher::~ConsoleHasher() = default;

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
    if (m_pool) {
        printHeldLines();
        m_pool = std::make_unique<HashPool>(HashType, m_poolPlan);
    }
}

HashPlan ConsoleHasher::hashPlanOn(dev_t device, unsigned maxThreads) const {
    return HashPlan(maxThreads, onRotationalDisk(device));
}

void ConsoleHasher::chooseHashThreads(int folderFd) {
    if (m_maxThreads <= 1)
        return;
    struct stat st;
    HashPlan plan(1);
    if (fstat(folderFd, &st) == 0) {
        if (!m_devicePlan || st.st_dev != m_device) {
            m_device = st.st_dev;
            m_devicePlan = hashPlanOn(st.st_dev, m_maxThreads);
        }
        plan = *m_devicePlan;
    }
    const bool pooled = plan.threads > 1;
    if (pooled == (m_pool != nullptr) && (!pooled || plan == m_poolPlan))
        return;
    printHeldLines();
    m_pool.reset();
    m_poolPlan = plan;
    if (pooled)
        m_pool = std::make_unique<HashPool>(HashType, plan);
}

std::string ConsoleHasher::hashEntry(int dirFd, const std::string& name, const struct stat& seen) {
    return FileHasher->HashFileAt(dirFd, name, seen);
}

void ConsoleHasher::ScanFileSpec(const std::string& spec) {
    const NameSelector selector(namePart(spec));
    std::string dir(folderPart(spec));
    if (dir.empty()) {
        dir = currentFolder();
        if (dir.empty())
            dir = "./"; // the current folder's path cannot be had (gone, or too long); it may still be listed
    }
    BaseDir = dir;
    keepOutputLive(now(), false);

    if (!Recursive && selector.isExactName()) {
        // One named entry: no need to list the folder, nor to be allowed to.
        const std::string& name = selector.exactName();
        if (name.empty() || name == "." || name == "..")
            return;
        const UniqueFd folder(openLongPath(dir, O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (folder.get() >= 0) {
            chooseHashThreads(folder.get());
            m_folder.reset();
            visitEntry(folder.get(), name, DT_UNKNOWN, {}, true);
        }
        return;
    }

    UniqueFd top(openLongPath(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (top.get() < 0) {
        if (!meansAbsent(errno))
            reportUnlistable(dir, errno);
        return;
    }
    chooseHashThreads(top.get());
    if (!Recursive) {
        scanFolder(top.get(), dir, {}, selector, true, nullptr);
        return;
    }

    // Depth first without recursion: each level keeps its folder open and the sub-folders it has
    // still to visit.
    std::vector<Level> levels;
    struct stat st {};
    fstat(top.get(), &st); // the identity is only needed to reopen it, and then checked again
    levels.push_back(Level{dir, {}, std::move(top), st.st_dev, st.st_ino, {}, 0});
    scanFolder(levels.back().fd.get(), dir, {}, selector, true, &levels.back().subFolders);
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.subFolders.size()) {
            levels.pop_back();
            continue;
        }
        const std::string name = std::move(level.subFolders[level.next++]);
        keepOutputLive(now(), false);
        if (!descend(levels, name))
            continue;
        Level& inner = levels.back();
        scanFolder(inner.fd.get(), inner.dir, inner.relative, selector, false, &inner.subFolders);
    }
}

bool ConsoleHasher::descend(std::vector<Level>& levels, const std::string& name) {
    Level& parent = levels.back();
    if (parent.fd.get() < 0) {
        // Closed to save descriptors: reopen it by path, and make sure it is still the same folder.
        parent.fd.reset(openLongPath(parent.dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st;
        int error = errno;
        if (parent.fd.get() >= 0 &&
            (fstat(parent.fd.get(), &st) != 0 || st.st_dev != parent.device || st.st_ino != parent.inode)) {
            parent.fd.reset();
            error = ENOENT;
        }
        if (parent.fd.get() < 0) {
            if (!meansAbsent(error))
                reportUnlistable(parent.dir, error);
            parent.next = parent.subFolders.size();
            return false;
        }
    }
    std::string dir = parent.dir + name + '/';
    UniqueFd fd(openat(parent.fd.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        if (!meansAbsent(errno))
            reportUnlistable(dir, errno);
        return false;
    }
    struct stat st;
    if (fstat(fd.get(), &st) != 0) {
        reportUnlistable(dir, errno);
        return false;
    }
    std::string relative = parent.relative + escapeLine(name) + '/';
    levels.push_back(Level{std::move(dir), std::move(relative), std::move(fd), st.st_dev, st.st_ino, {}, 0});
    if (levels.size() > MaxOpenLevels)
        levels[levels.size() - 1 - MaxOpenLevels].fd.reset();
    return true;
}

void ConsoleHasher::scanFolder(int dirFd, const std::string& dir, const std::string& relative,
                               const NameSelector& selector, bool topLevel,
                               std::vector<std::string>* subFolders) {
    // The listing gets a descriptor of its own: dirFd stays open for the entries and sub-folders.
    const int listFd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    DIR* folder = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (folder == nullptr) {
        const int error = errno;
        if (listFd >= 0)
            close(listFd);
        reportUnlistable(dir, error);
        return;
    }
    m_folder.reset();
    m_entries.clear();
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(folder);
        if (entry == nullptr) {
            if (errno != 0)
                reportUnlistable(dir, errno); // what was listed so far is still shown
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        m_entries.push_back(Entry{name, entry->d_type});
    }
    closedir(folder);
    std::sort(m_entries.begin(), m_entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });

    for (const Entry& entry : m_entries) {
        if (selector.matches(entry.name))
            visitEntry(dirFd, entry.name, entry.type, relative, topLevel);
    }
    if (subFolders != nullptr) {
        for (Entry& entry : m_entries)
            if (isRealFolder(dirFd, entry.name.c_str(), entry.type))
                subFolders->push_back(std::move(entry.name));
    }
}

void ConsoleHasher::visitEntry(int dirFd, const std::string& name, unsigned char type,
                               const std::string& relative, bool topLevel) {
    if (m_pool && type == DT_REG) {
        // The worker that opens it looks at it: the walk makes no call per file.
        holdLine(dirFd, name, Hand::Listed, nullptr, lineTail(relative, name, topLevel));
        return;
    }
    struct stat st;
    const EntryKind kind = classify(dirFd, name.c_str(), type, st);
    if (kind != EntryKind::File && kind != EntryKind::Unhashable)
        return;
    if (m_pool) {
        holdLine(dirFd, name, kind == EntryKind::File ? Hand::Seen : Hand::None, &st,
                 lineTail(relative, name, topLevel));
        return;
    }
    const auto started = now();
    keepOutputLive(started, kind == EntryKind::File && st.st_size > LargeFileSize);
    const std::string hash = kind == EntryKind::File ? hashEntry(dirFd, name, st) : std::string();
    printLine(hash, lineTail(relative, name, topLevel), started);
}

std::string ConsoleHasher::lineTail(const std::string& relative, const std::string& name,
                                    bool topLevel) const {
    std::string tail = " ";
    if (!topLevel)
        tail += relative;
    tail += escapeLine(name);
    tail += "\r\n";
    return tail;
}

void ConsoleHasher::holdLine(int dirFd, const std::string& name, Hand hand, const struct stat* file,
                             std::string tail) {
    while (m_pool->full() || m_held.size() >= MaxHeldLines)
        printOldestHeldLine();
    if (hand != Hand::None) {
        if (!m_folder) // a descriptor of its own: dirFd may be closed while its files are still hashed
            m_folder = std::make_shared<const OpenFolder>(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
        if (hand == Hand::Seen)
            m_pool->submit(m_folder, name, *file);
        else
            m_pool->submitListed(m_folder, name);
    }
    m_held.push_back(HeldLine{std::move(tail), hand});
}

void ConsoleHasher::printOldestHeldLine() {
    HeldLine line = std::move(m_held.front());
    m_held.pop_front();
    std::string hash;
    if (line.hand != Hand::None) {
        hash = m_pool->take(&m_waitPoll).value_or(std::string());
        const struct stat* found = m_pool->takenStat();
        if (line.hand == Hand::Listed && (found == nullptr || S_ISDIR(found->st_mode)))
            return; // gone since it was listed, or a folder now: no line, as when the walk looks first
    }
    const auto time = now();
    keepOutputLive(time, false);
    printLine(hash, line.tail, time);
}

void ConsoleHasher::printHeldLines() {
    while (!m_held.empty())
        printOldestHeldLine();
}

void ConsoleHasher::printLine(std::string_view hash, std::string_view tail,
                              std::chrono::steady_clock::time_point started) {
    m_line.assign(hash.empty() ? CannotOpenFilePlaceholder : hash);
    m_line += tail;
    if (!m_out.hasPending())
        m_heldSince = started;
    m_out.write(m_line);
}

void ConsoleHasher::keepOutputLive(std::chrono::steady_clock::time_point time, bool large) {
    if (m_out.hasPending() && (large || time - m_heldSince >= MaxLineDelay))
        m_out.flush();
}

void ConsoleHasher::reportUnlistable(const std::string& folder, int error) {
    // Lines found so far go first, so that a shared terminal shows both in order.
    printHeldLines();
    m_out.flush();
    m_errors("Cannot list folder " + escapeLine(folder) + ": " + std::strerror(error) + "\r\n");
}

} // namespace halcyra
