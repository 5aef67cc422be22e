#include "hashing/FileReader.h"

#include "base/LongPath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace halcyra {

namespace {

// O_NONBLOCK stays set while reading: it changes nothing for ordinary files, and a file that
// would block gives EAGAIN.
constexpr int OpenFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

int refusal(const struct stat& st) {
    return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
}

} // namespace

ssize_t ContentReads::read(int fd, std::uint8_t* buffer, std::size_t size, bool noWait) {
    if (!noWait)
        return ::read(fd, buffer, size);
    iovec part{buffer, size};
    return ::preadv2(fd, &part, 1, -1, RWF_NOWAIT); // -1: at the descriptor's position, which it moves
}

ContentReads& ContentReads::real() {
    static ContentReads reads;
    return reads;
}

void RegularFileReader::begin() {
    close();
    m_error = 0;
    m_wouldWait = false;
    m_lookedAt = false;
    m_read = 0;
}

int RegularFileReader::open(const std::string& fileName) {
    begin();
    // A name with an embedded NUL would name a different (shorter) path.
    if (fileName.empty() || std::memchr(fileName.data(), '\0', fileName.size()) != nullptr) {
        return m_error = ENOENT;
    }
    // Opening a FIFO, socket or device can block or have side effects: look before opening.
    struct stat before;
    if (statLongPath(fileName, before, true) != 0) {
        return m_error = errno;
    }
    if (!S_ISREG(before.st_mode)) {
        return m_error = refusal(before);
    }
    int fd;
    do {
        fd = openLongPath(fileName, OpenFlags);
    } while (fd < 0 && errno == EINTR);
    return adopt(fd, &before);
}

int RegularFileReader::openAt(int dirFd, const std::string& name, const struct stat& seen) {
    return openRelative(dirFd, name, &seen);
}

int RegularFileReader::openListed(int dirFd, const std::string& name) {
    const int error = openRelative(dirFd, name, nullptr);
    if (error != 0 && !m_lookedAt && error != ENOENT && error != ENOTDIR) {
        // There, but it cannot be opened: what it is still counts.
        m_lookedAt = (dirFd == AT_FDCWD ? statLongPath(name, m_stat, true)
                                        : ::fstatat(dirFd, name.c_str(), &m_stat, 0)) == 0;
    }
    return error;
}

int RegularFileReader::openRelative(int dirFd, const std::string& name, const struct stat* seen) {
    begin();
    if (name.empty() || std::memchr(name.data(), '\0', name.size()) != nullptr) {
        return m_error = ENOENT;
    }
    if (seen != nullptr && !S_ISREG(seen->st_mode)) {
        return m_error = refusal(*seen);
    }
    int fd;
    do {
        fd = dirFd == AT_FDCWD ? openLongPath(name, OpenFlags) : ::openat(dirFd, name.c_str(), OpenFlags);
    } while (fd < 0 && errno == EINTR);
    return adopt(fd, seen);
}

int RegularFileReader::adopt(int fd, const struct stat* seen) {
    if (fd < 0) {
        return m_error = errno;
    }
    m_fd = fd;
    // The name may have been replaced by something else since it was looked at.
    struct stat& after = m_stat;
    if (::fstat(fd, &after) != 0) {
        m_error = errno;
        close();
        return m_error;
    }
    m_lookedAt = seen == nullptr;
    const bool other = seen != nullptr && (after.st_dev != seen->st_dev || after.st_ino != seen->st_ino);
    if (!S_ISREG(after.st_mode) || other) {
        close();
        return m_error = seen == nullptr ? refusal(after) : EAGAIN;
    }
    m_size = after.st_size;
    // A larger read-ahead pays only for files that take more than one read.
    if (m_size > static_cast<off_t>(FileBlockSize))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return 0;
}

ssize_t RegularFileReader::fill(std::uint8_t* buffer, std::size_t size) {
    if (m_fd < 0) {
        m_error = EBADF;
        return -1;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = m_reads->read(m_fd, buffer + done, size - done, m_noWait);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
            m_read += got;
            // A regular file reads short only at its end: at the size its stat gave, that is the end
            // without another call (a file that grew goes on to the read that gives nothing).
            if (m_read == m_size)
                break;
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            // EAGAIN included: a regular file that would block counts as unreadable.
            m_error = errno;
            m_wouldWait = m_noWait && (errno == EAGAIN || errno == EOPNOTSUPP);
            return -1;
        }
    }
    return static_cast<ssize_t>(done);
}

void RegularFileReader::close() {
    if (m_fd >= 0) {
        ::close(m_fd); // not retried on EINTR: the descriptor is released either way on Linux
        m_fd = -1;
    }
}

} // namespace halcyra
