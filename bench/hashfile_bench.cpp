// Hashes the files named on the command line through TFileHashing and prints one line per file:
// the hash text (or the unreadable placeholder) and the name. Used by hash_file.sh for timing.
//   hashfile_bench [--crc] FILE...
#include "hashing/Hashing.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    int first = 1;
    std::uint8_t kind = halcyra::TFileHashing::KindMD5;
    if (argc > 1 && std::strcmp(argv[1], "--crc") == 0) {
        kind = halcyra::TFileHashing::KindCRC32;
        first = 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: hashfile_bench [--crc] FILE...\n");
        return 2;
    }
    halcyra::TFileHashing hasher(kind);
    int failures = 0;
    for (int i = first; i < argc; ++i) {
        std::string text = hasher.HashFile(argv[i]);
        if (text.empty()) {
            text = halcyra::CannotOpenFilePlaceholder;
            ++failures;
        }
        std::printf("%s  %s\n", text.c_str(), argv[i]);
    }
    return failures == 0 ? 0 : 1;
}
