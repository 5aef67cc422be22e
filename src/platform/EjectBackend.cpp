#include "platform/EjectBackend.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {
EjectBackend* g_backend = nullptr;
} // namespace

EjectBackend& currentEjectBackend() {
    static IoctlEjectBackend builtIn;
    return g_backend != nullptr ? *g_backend : builtIn;
}

void setEjectBackend(EjectBackend* backend) {
    g_backend = backend;
}

bool IoctlEjectBackend::unmount(const std::string&, const std::string&) {
    return false;
}

bool IoctlEjectBackend::eject(const std::string& deviceNode) {
    struct stat info {};
    if (stat(deviceNode.c_str(), &info) != 0 || !S_ISBLK(info.st_mode))
        return false;
    // Non-blocking, so a drive without a medium still opens.
    const int fd = open(deviceNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    int rc;
    do
        rc = ioctl(fd, CDROMEJECT, 0);
    while (rc != 0 && errno == EINTR);
    close(fd);
    return rc == 0;
}

} // namespace halcyra
