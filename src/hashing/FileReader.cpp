#include "hashing/FileReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

int RegularFileReader::open(const std::string& fileName) {
    close();
    m_error = 0;
    // A name with an embedded NUL would name a different (shorter) path.
    if (fileName.empty() || std::memchr(fileName.data(), '\0', fileName.size()) != nullptr) {
        return m_error = ENOENT;
    }
    // Opening a FIFO, socket or device can block or have side effects: look before opening.
    struct stat before;
    if (::stat(fileName.c_str(), &before) != 0) {
        return m_error = errno;
    }
    if (!S_ISREG(before.st_mode)) {
        return m_error = S_ISDIR(before.st_mode) ? EISDIR : EINVAL;
    }
    int fd;
    do {
        fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return m_error = errno;
    }
    m_fd = fd;
    // The name may have been replaced by something else between the stat and the open.
    struct stat after;
    if (::fstat(fd, &after) != 0) {
        m_error = errno;
        close();
        return m_error;
    }
    if (!S_ISREG(after.st_mode) || after.st_dev != before.st_dev || after.st_ino != before.st_ino) {
        close();
        return m_error = EAGAIN;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        m_error = errno;
        close();
        return m_error;
    }
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
        const ssize_t got = ::read(m_fd, buffer + done, size - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            m_error = errno;
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
