#pragma once

// Builds folder trees deeper than PATH_MAX for tests, with mkdirat and openat only (the paths of
// such trees cannot be passed whole to mkdir or open). std::filesystem::remove_all removes them.

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace halcyra::testing {

// A descriptor that closes itself.
struct DeepTreeFd {
    int fd = -1;
    explicit DeepTreeFd(int value) : fd(value) {}
    ~DeepTreeFd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    DeepTreeFd(const DeepTreeFd&) = delete;
    DeepTreeFd& operator=(const DeepTreeFd&) = delete;
};

// The name of level `level` (0-based): `length` bytes, distinct per level.
inline std::string deepTreeName(int level, std::size_t length) {
    std::string name = std::to_string(level) + "_";
    name.resize(length, static_cast<char>('a' + level % 26));
    return name;
}

// Creates `levels` nested folders of `nameLength`-byte names inside the existing folder `root`
// and, in the deepest one, the files of `files` (name, contents). Returns the path of the deepest
// folder relative to `root`, with a trailing '/'. Throws std::system_error on failure.
template <typename Files>
std::string buildDeepTree(const std::string& root, int levels, std::size_t nameLength, const Files& files) {
    DeepTreeFd folder(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.fd < 0) {
        throw std::system_error(errno, std::generic_category(), root);
    }
    std::string relative;
    for (int level = 0; level < levels; ++level) {
        const std::string name = deepTreeName(level, nameLength);
        if (::mkdirat(folder.fd, name.c_str(), 0700) != 0 && errno != EEXIST) {
            throw std::system_error(errno, std::generic_category(), "mkdirat");
        }
        const int next = ::openat(folder.fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (next < 0) {
            throw std::system_error(errno, std::generic_category(), "openat");
        }
        ::close(folder.fd);
        folder.fd = next;
        relative += name + "/";
    }
    for (const auto& [name, contents] : files) {
        DeepTreeFd file(
            ::openat(folder.fd, std::string(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        const std::string text(contents);
        if (file.fd < 0 || ::write(file.fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            throw std::system_error(errno, std::generic_category(), "write");
        }
    }
    return relative;
}

} // namespace halcyra::testing
