#pragma once

#include "hashing/FileReader.h"

#include <atomic>
#include <cerrno>

namespace halcyra::testing {

// Reads as the system does, except that every third read without waiting finds its file's contents not in
// the page cache, as on a rotational disk.
class ColdEveryThird : public ContentReads {
public:
    ssize_t read(int fd, std::uint8_t* buffer, std::size_t size, bool noWait) override {
        if (noWait && ++m_tries % 3 == 0) {
            errno = EAGAIN;
            return -1;
        }
        return ContentReads::read(fd, buffer, size, false);
    }
    // The reads without waiting so far.
    unsigned tries() const { return m_tries.load(); }

private:
    std::atomic<unsigned> m_tries{0};
};

} // namespace halcyra::testing
