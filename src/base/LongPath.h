#pragma once

#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace halcyra {

// Opens `path` like open(2), whatever its length: when the kernel refuses the path as too long
// (ENAMETOOLONG), it is opened by walking its folders with openat (in chunks that fit PATH_MAX).
// Returns the descriptor, or -1 with errno set.
int openLongPath(const std::string& path, int flags, mode_t mode = 0);

// stat (follow = true) or lstat of `path`, whatever its length. 0, or -1 with errno set.
int statLongPath(const std::string& path, struct stat& st, bool follow);

} // namespace halcyra
