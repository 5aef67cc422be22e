#include "detection/ProfileRunLock.h"

#include "base/IOStream.h"
#include "base/Paths.h"
#include "detection/HousekeepingJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace halcyra {

std::string ProfileRunLock::busyText(std::string_view profile) {
    return "The profile " + std::string(profile) + " is already being run.";
}

ProfileRunLock::Outcome ProfileRunLock::acquire(std::string_view profile, std::string& errorText,
                                                bool recover) {
    release();
    if (!isPathSafeName(profile)) {
        errorText = "The profile " + std::string(profile) + " cannot be run: its name cannot name a file.";
        return Outcome::Failed;
    }
    m_path = dataFolder() + std::string(profile) + "_run.lock";
    // The holder removes the file when it lets go; a lock taken on a file that is no longer the one under
    // that name guards nothing, so it is taken again on the new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        if (fd < 0)
            return failed(errno, errorText);
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return failed(EINVAL, errorText);
        }
        int result;
        do
            result = ::flock(fd, LOCK_EX | LOCK_NB);
        while (result != 0 && errno == EINTR);
        if (result != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) {
                errorText = busyText(profile);
                return Outcome::Busy;
            }
            return failed(error, errorText);
        }
        struct stat named {};
        if (::lstat(m_path.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino) {
            m_fd = fd;
            const Outcome recovered =
                recover ? HousekeepingJournal::recoverFor(profile, errorText) : Outcome::Acquired;
            if (recovered != Outcome::Acquired)
                release();
            return recovered;
        }
        ::close(fd);
    }
    return failed(EAGAIN, errorText);
}

void ProfileRunLock::release() {
    if (m_fd < 0)
        return;
    ::unlink(m_path.c_str()); // still holding the lock, so no other holder has this file
    ::close(m_fd);
    m_fd = -1;
}

ProfileRunLock::Outcome ProfileRunLock::failed(int error, std::string& errorText) {
    errorText = "The lock file \"" + m_path + "\" could not be created: " + systemMessage(error);
    return Outcome::Failed;
}

} // namespace halcyra
