#pragma once

// A folder tree of random contents for tests that compare hashing with one thread and with several:
// nested folders, files of random sizes around the readers' block size, names with control bytes, blanks,
// '*', '<' and bytes that are not UTF-8, FIFOs, dangling links and a link to /proc/self/mem (opens, every
// read fails).

#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace halcyra::testing {

// Fills the existing folder `root` from `seed` with `files` entries that are not folders, spread over a
// few nested folders. Returns their paths relative to `root` (no leading '/'), in creation order.
inline std::vector<std::string> buildRandomTree(const std::string& root, unsigned seed, int files = 150) {
    std::mt19937 rng(seed);
    const std::vector<std::string> folders = {"", "a/", "a/b b/", "c\xFF/", "a/b b/\n d/"};
    for (std::size_t i = 1; i < folders.size(); ++i)
        ::mkdir((root + "/" + folders[i]).c_str(), 0755);
    const std::vector<std::string> oddNames = {"*star", " lead", "trail ", "new\nline", "lt<3C>", "\x80\xFF"};
    std::vector<std::string> made;
    std::vector<char> bytes;
    for (int i = 0; i < files; ++i) {
        std::string name = folders[rng() % folders.size()] + "f" + std::to_string(i);
        if (rng() % 4 == 0)
            name += oddNames[rng() % oddNames.size()];
        const std::string path = root + "/" + name;
        const unsigned kind = rng() % 20;
        int failed = 0;
        if (kind == 0) {
            failed = ::mkfifo(path.c_str(), 0644);
        } else if (kind == 1) {
            failed = ::symlink("no such target", path.c_str());
        } else if (kind == 2) {
            failed = ::symlink("/proc/self/mem", path.c_str());
        } else {
            // Sizes around the 128 KiB read block, exact multiples of it among them.
            const std::size_t sizes[] = {0, 1, 63, 64, 4096, 131072, 131073, 262144};
            const std::size_t size = kind < 8 ? sizes[rng() % 8] : rng() % 300000;
            bytes.resize(size);
            for (char& b : bytes)
                b = static_cast<char>(rng());
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            failed = fd < 0 || ::write(fd, bytes.data(), size) != static_cast<ssize_t>(size);
            if (fd >= 0)
                ::close(fd);
        }
        if (failed)
            throw std::system_error(errno, std::generic_category(), "building a random tree: " + path);
        made.push_back(name);
    }
    return made;
}

} // namespace halcyra::testing
