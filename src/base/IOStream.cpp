#include "base/IOStream.h"

#include "base/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace halcyra {

namespace {

constexpr std::size_t BlockSize = 64 * 1024;
constexpr std::string_view TempSuffix = ".tmp";
constexpr std::size_t TempRandomLength = 6; // the XXXXXX of mkostemp

bool isTemporaryName(std::string_view name, std::string_view targetName) {
    return hasRandomSuffix(name, std::string(targetName) + std::string(TempSuffix));
}

int lockFile(int fd, int operation) {
    int result;
    do
        result = flock(fd, operation);
    while (result != 0 && errno == EINTR);
    return result;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates the new file `name`, whose last TempRandomLength characters are replaced by random letters and
// digits until a free name is found, with `mode` less the umask: the descriptor, or -1 with errno set.
int createUniqueFile(std::vector<char>& name, mode_t mode) {
    static constexpr std::string_view Letters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, Letters.size() - 1);
    const std::size_t randomStart = name.size() - 1 - TempRandomLength;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        for (std::size_t i = randomStart; i + 1 < name.size(); ++i)
            name[i] = Letters[pick(random)];
        const int fd = ::open(name.data(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// Whether the file `fd` opened from `path` is still the one under that name.
bool stillNamed(int fd, const char* path) {
    struct stat opened {
    }, named{};
    return fstat(fd, &opened) == 0 && lstat(path, &named) == 0 && sameFile(opened, named);
}

} // namespace

bool hasRandomSuffix(std::string_view name, std::string_view stem) {
    if (name.size() != stem.size() + TempRandomLength || name.substr(0, stem.size()) != stem)
        return false;
    for (const char c : name.substr(stem.size()))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

int createLockedFile(std::string& pattern) {
    const std::size_t randomStart = pattern.size() - TempRandomLength;
    // The lock can only be taken once the file exists; a file removed as a leftover in between is no
    // longer under its name, and another is made.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::fill(pattern.begin() + static_cast<std::ptrdiff_t>(randomStart), pattern.end(), 'X');
        const int fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0)
            return -1;
        const bool locked = lockFile(fd, LOCK_EX) == 0; // a file system without locks: no cleaning either
        if (!locked || stillNamed(fd, pattern.c_str()))
            return fd;
        close(fd);
    }
    errno = EAGAIN;
    return -1;
}

int createLockedFolder(std::string& pattern) {
    const std::size_t randomStart = pattern.size() - TempRandomLength;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::fill(pattern.begin() + static_cast<std::ptrdiff_t>(randomStart), pattern.end(), 'X');
        if (mkdtemp(pattern.data()) == nullptr)
            return -1;
        const int fd = open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue; // removed as a leftover before it could be locked
        if (lockFile(fd, LOCK_EX) != 0 || stillNamed(fd, pattern.c_str()))
            return fd;
        close(fd);
    }
    errno = EAGAIN;
    return -1;
}

void removeUnlockedEntry(const std::string& folder, int folderFd, const char* name, bool folders) {
    const int fd = openat(folderFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    // A holder keeps its lock for as long as its entry exists; an entry whose lock can be taken has no
    // holder, and while this lock is held no new holder can claim the name.
    struct stat opened {
    }, named{};
    if (fstat(fd, &opened) == 0 && (S_ISREG(opened.st_mode) || (folders && S_ISDIR(opened.st_mode))) &&
        lockFile(fd, LOCK_EX | LOCK_NB) == 0 && fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        sameFile(opened, named)) {
        if (S_ISREG(opened.st_mode)) {
            unlinkat(folderFd, name, 0);
        } else {
            std::error_code ignored; // what cannot be removed now is tried again next time
            std::filesystem::remove_all(std::filesystem::path(folder) / name, ignored);
        }
    }
    close(fd);
}

std::string systemMessage(int error) {
    return std::strerror(error);
}

std::string notRegularFileText() {
    return "Not a regular file";
}

bool resolveUserTarget(const std::string& path, UserTarget& target, std::string& errorText) {
    constexpr int MaxLinks = 40; // as the kernel follows them
    target = {path, std::nullopt};
    errorText.clear();
    for (int links = 0;; ++links) {
        struct stat info {};
        if (::lstat(target.path.c_str(), &info) != 0) {
            if (errno == ENOENT)
                return true; // a new file; a missing folder shows when the file is created
            errorText = systemMessage(errno);
            return false;
        }
        if (S_ISREG(info.st_mode)) {
            target.existingMode = static_cast<unsigned>(info.st_mode & 07777);
            return true;
        }
        if (!S_ISLNK(info.st_mode)) {
            errorText = S_ISDIR(info.st_mode) ? systemMessage(EISDIR) : notRegularFileText();
            return false;
        }
        if (links == MaxLinks) {
            errorText = systemMessage(ELOOP);
            return false;
        }
        std::string link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        const ssize_t length = ::readlink(target.path.c_str(), link.data(), link.size());
        if (length < 0) {
            errorText = systemMessage(errno);
            return false;
        }
        if (static_cast<std::size_t>(length) >= link.size()) { // grew since lstat: look again
            --links;
            continue;
        }
        link.resize(static_cast<std::size_t>(length));
        target.path = link.starts_with('/') ? link : std::string(folderPart(target.path)) + link;
    }
}

std::string lineTooLongText() {
    return "A line is longer than " + std::to_string(MaxLineLength) + " bytes";
}

void removeStaleTemporaryFiles(const std::string& target) {
    const std::string folder(folderPart(target));
    const std::string_view targetName = namePart(target);
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* item = readdir(dir))
        if (isTemporaryName(item->d_name, targetName))
            removeUnlockedEntry(folder, dirfd(dir), item->d_name, false);
    closedir(dir);
}

bool fileExists(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0)
        return true;
    return errno != ENOENT && errno != ENOTDIR;
}

LineReader::~LineReader() {
    if (m_fd >= 0)
        close(m_fd);
}

bool LineReader::open(const std::string& path) {
    m_error.clear();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        m_error = systemMessage(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        m_error = systemMessage(EISDIR);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        m_error = notRegularFileText();
        return false;
    }
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        m_error = systemMessage(errno);
        return false;
    }
    struct stat opened {};
    if (fstat(m_fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        m_error = notRegularFileText();
        close(m_fd);
        m_fd = -1;
        return false;
    }
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    return true;
}

bool LineReader::fill() {
    if (m_eof || m_fd < 0 || !m_error.empty())
        return false;
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    const std::size_t used = m_buffer.size();
    m_buffer.resize(used + BlockSize);
    for (;;) {
        const ssize_t count = read(m_fd, m_buffer.data() + used, BlockSize);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            m_error = systemMessage(errno);
            m_buffer.resize(used);
            return false;
        }
        m_buffer.resize(used + static_cast<std::size_t>(count));
        if (count == 0)
            m_eof = true;
        return count > 0;
    }
}

bool LineReader::readLine(std::string& line) {
    line.clear();
    if (!m_error.empty())
        return false;
    // The length limit leaves out a CR that ends the line with its LF.
    const auto tooLong = [this](std::size_t length, bool endsInCr) {
        if (length <= MaxLineLength + (endsInCr ? 1 : 0))
            return false;
        m_error = lineTooLongText();
        return true;
    };
    std::size_t scanFrom = m_pos;
    for (;;) {
        const std::size_t end = m_buffer.find('\n', scanFrom);
        if (end != std::string::npos) {
            if (tooLong(end - m_pos, end > m_pos && m_buffer[end - 1] == '\r'))
                return false;
            line.assign(m_buffer, m_pos, end - m_pos);
            m_pos = end + 1;
            break;
        }
        const std::size_t scanned = m_buffer.size() - m_pos;
        if (tooLong(scanned, true) || !fill()) {
            if (!m_error.empty() || m_pos == m_buffer.size() || tooLong(scanned, false))
                return false;
            line.assign(m_buffer, m_pos, std::string::npos); // last line without a line end
            m_pos = m_buffer.size();
            break;
        }
        scanFrom = m_pos + scanned;
    }
    // A CR before the LF ends the line with it; any other CR is dropped.
    if (line.find('\r') != std::string::npos) {
        std::size_t out = 0;
        for (char c : line)
            if (c != '\r')
                line[out++] = c;
        line.resize(out);
    }
    return true;
}

AtomicLineWriter::AtomicLineWriter(std::string target, std::size_t maxLineLength, FileAccess access)
    : m_target(std::move(target)), m_maxLineLength(maxLineLength), m_access(access) {}

AtomicLineWriter::~AtomicLineWriter() {
    discard();
}

void AtomicLineWriter::discard() {
    // Removed while still locked, so that the name is never taken for a stale one of another writer.
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

void AtomicLineWriter::fail(Failure failure, int error) {
    fail(failure, systemMessage(error));
}

void AtomicLineWriter::fail(Failure failure, std::string text) {
    if (m_failure == Failure::None) {
        m_failure = failure;
        m_error = std::move(text);
    }
}

bool AtomicLineWriter::open() {
    mode_t mode = 0600;
    std::optional<unsigned> keptMode;
    if (m_access == FileAccess::UserFile) {
        UserTarget target;
        std::string error;
        if (!resolveUserTarget(m_target, target, error)) {
            fail(Failure::Create, std::move(error));
            return false;
        }
        m_target = std::move(target.path);
        keptMode = target.existingMode;
        mode = 0666;
    }
    removeStaleTemporaryFiles(m_target);
    std::vector<char> name(m_target.begin(), m_target.end());
    name.insert(name.end(), TempSuffix.begin(), TempSuffix.end());
    name.insert(name.end(), TempRandomLength, 'X');
    name.push_back('\0');
    // The lock can only be taken once the file exists; a file removed as stale in between is no longer
    // under its name, and another is made.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = createUniqueFile(name, mode);
        if (fd < 0) {
            fail(Failure::Create, errno);
            return false;
        }
        if (keptMode && ::fchmod(fd, static_cast<mode_t>(*keptMode)) != 0) {
            const int error = errno;
            unlink(name.data());
            close(fd);
            fail(Failure::Create, error);
            return false;
        }
        struct stat opened {
        }, named{};
        const bool locked = lockFile(fd, LOCK_EX) == 0; // a file system without locks: no cleaning either
        if (!locked ||
            (fstat(fd, &opened) == 0 && lstat(name.data(), &named) == 0 && sameFile(opened, named))) {
            m_fd = fd;
            m_tempPath.assign(name.data());
            m_buffer.reserve(BlockSize);
            return true;
        }
        close(fd);
    }
    fail(Failure::Create, EAGAIN);
    return false;
}

int readWholeFile(const std::string& path, std::string& text, std::int64_t maxSize) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return errno;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxSize) {
        const int error = S_ISREG(info.st_mode) && info.st_size > maxSize ? EFBIG : EINVAL;
        close(fd);
        return error;
    }
    text.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int error = errno;
            close(fd);
            return error;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<std::uint64_t>(text.size()) > static_cast<std::uint64_t>(maxSize)) {
            close(fd);
            return EFBIG;
        }
    }
    close(fd);
    return 0;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t count = ::write(fd, at, size);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = EIO;
            return false;
        }
        at += count;
        size -= static_cast<std::size_t>(count);
    }
    return true;
}

bool AtomicLineWriter::flushBuffer() {
    if (!writeAll(m_fd, m_buffer.data(), m_buffer.size())) {
        fail(Failure::Write, errno);
        return false;
    }
    m_buffer.clear();
    return true;
}

bool AtomicLineWriter::writeLine(std::string_view line) {
    if (m_failure != Failure::None || m_fd < 0)
        return false;
    if (line.size() > m_maxLineLength) {
        fail(Failure::Write, lineTooLongText());
        return false;
    }
    m_buffer.append(line);
    m_buffer += '\n';
    return m_buffer.size() < BlockSize || flushBuffer();
}

bool AtomicLineWriter::prepare() {
    if (m_prepared)
        return true;
    if (m_failure != Failure::None || m_fd < 0)
        return false;
    if (!flushBuffer())
        return false;
    if (fsync(m_fd) != 0) {
        fail(Failure::Write, errno);
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0) {
        fail(Failure::Write, errno);
        return false;
    }
    m_prepared = true;
    return true;
}

bool AtomicLineWriter::commit() {
    if (!m_prepared) {
        if (m_failure != Failure::None || m_fd < 0 || !flushBuffer())
            return false;
        if (fsync(m_fd) != 0) {
            fail(Failure::Write, errno);
            return false;
        }
    }
    // Renamed while the file is still open and locked (unless prepared), so that it is never taken for a
    // stale one.
    if (m_failure != Failure::None || m_tempPath.empty())
        return false;
    if (rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        fail(Failure::Create, errno);
        return false;
    }
    m_tempPath.clear();
    if (m_fd >= 0) {
        const int fd = m_fd;
        m_fd = -1;
        if (close(fd) != 0) {
            fail(Failure::Write, errno);
            return false;
        }
    }
    // Make the rename itself durable; the new contents are in place whatever this gives.
    const std::string folder(folderPart(m_target));
    const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

} // namespace halcyra
