#include "base/LongPath.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace halcyra {

namespace {

// Longest relative path handed to one openat call (PATH_MAX counts the terminating NUL).
constexpr std::size_t MaxChunk = PATH_MAX - 1;

// The folder in which the tail of a long path is resolved, reached by opening the leading folders
// chunk by chunk. Owns its descriptor unless it is AT_FDCWD.
class FolderWalk {
public:
    FolderWalk() = default;
    ~FolderWalk() {
        if (m_fd >= 0) {
            const int saved = errno;
            ::close(m_fd);
            errno = saved;
        }
    }
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // Opens the leading folders of `path` so that the rest is at most MaxChunk bytes; `tail` then
    // points at that rest (never empty). False with errno set when a folder cannot be opened or a
    // single name is longer than MaxChunk.
    bool walk(const std::string& path, const char*& tail) {
        std::size_t pos = 0;
        while (path.size() - pos > MaxChunk) {
            // The chunk ends with the last '/' that keeps it within MaxChunk bytes.
            const std::size_t cut = path.rfind('/', pos + MaxChunk - 1);
            if (cut == std::string::npos || cut < pos) {
                errno = ENAMETOOLONG;
                return false;
            }
            const std::string chunk = path.substr(pos, cut + 1 - pos);
            const int next = ::openat(m_fd, chunk.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (next < 0) {
                return false;
            }
            if (m_fd >= 0) {
                ::close(m_fd);
            }
            m_fd = next;
            // Following chunks are relative to the folder just opened: never let one start with '/'.
            pos = path.find_first_not_of('/', cut + 1);
            if (pos == std::string::npos) {
                tail = ".";
                return true;
            }
        }
        tail = path.c_str() + pos;
        return true;
    }

    int fd() const { return m_fd; }

private:
    int m_fd = AT_FDCWD;
};

bool hasNul(const std::string& path) {
    return std::memchr(path.data(), '\0', path.size()) != nullptr;
}

} // namespace

int openLongPath(const std::string& path, int flags, mode_t mode) {
    if (hasNul(path)) {
        errno = ENOENT;
        return -1;
    }
    const int fd = ::open(path.c_str(), flags, mode);
    if (fd >= 0 || errno != ENAMETOOLONG) {
        return fd;
    }
    FolderWalk folder;
    const char* tail = nullptr;
    if (!folder.walk(path, tail)) {
        return -1;
    }
    return ::openat(folder.fd(), tail, flags, mode);
}

int statLongPath(const std::string& path, struct stat& st, bool follow) {
    if (hasNul(path)) {
        errno = ENOENT;
        return -1;
    }
    const int result = follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
    if (result == 0 || errno != ENAMETOOLONG) {
        return result;
    }
    FolderWalk folder;
    const char* tail = nullptr;
    if (!folder.walk(path, tail)) {
        return -1;
    }
    return ::fstatat(folder.fd(), tail, &st, follow ? 0 : AT_SYMLINK_NOFOLLOW);
}

} // namespace halcyra
