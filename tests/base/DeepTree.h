#pragma once

// Test folders: a fresh temporary folder, and trees deeper than PATH_MAX built with mkdirat and openat
// only (their paths cannot be passed whole to mkdir or open). std::filesystem::remove_all removes both.

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace halcyra::testing {

// A new empty folder under $TMPDIR (default /tmp) whose name starts with `prefix`; no trailing '/'.
inline std::string makeTempFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string path =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + prefix + "XXXXXX";
    if (::mkdtemp(path.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(), path);
    return path;
}

// Creates `levels` nested folders of `nameLength`-byte names (distinct per level) inside the folder
// `root` and, in the deepest one, `files` (name to contents). Returns the deepest folder's path relative
// to `root`, with a trailing '/'. Throws std::system_error on failure.
inline std::string buildDeepTree(const std::string& root, int levels, std::size_t nameLength,
                                 const std::map<std::string, std::string>& files) {
    int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const auto fail = [&folder, &root](int fd) {
        const int error = errno;
        for (const int open : {fd, folder})
            if (open >= 0)
                ::close(open);
        throw std::system_error(error, std::generic_category(), "building a deep tree in " + root);
    };
    std::string relative;
    for (int level = 0; level < levels; ++level) {
        std::string name = std::to_string(level) + "_";
        name.resize(nameLength, static_cast<char>('a' + level % 26));
        if (folder < 0 || ::mkdirat(folder, name.c_str(), 0700) != 0)
            fail(-1);
        const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
        relative += name + "/";
    }
    for (const auto& [name, contents] : files) {
        const int file = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (file < 0 || ::write(file, contents.data(), contents.size()) != ssize_t(contents.size()))
            fail(file);
        ::close(file);
    }
    if (folder < 0)
        fail(-1);
    ::close(folder);
    return relative;
}

} // namespace halcyra::testing
