#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace halcyra {

// Size of the blocks the file hashers read; a multiple of 64 (one MD5 block).
inline constexpr std::size_t FileBlockSize = 128 * 1024;

// Sequential reader of one regular file, shared by the MD5 and CRC-32 file hashers.
// Only regular files are opened: a name that is missing, a folder, a FIFO, a socket or a device
// is refused after a stat, without being opened. The file is closed by close() or the destructor.
class RegularFileReader {
public:
    RegularFileReader() = default;
    ~RegularFileReader() { close(); }
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;

    // Opens the file (symbolic links followed). Returns 0, or the errno value that says why the
    // name cannot be read as a regular file.
    int open(const std::string& fileName);

    // Reads until `size` bytes are in `buffer` or the file ends. Returns the count, which is
    // below `size` only at end of file, or -1 when a read failed (error() tells why).
    ssize_t fill(std::uint8_t* buffer, std::size_t size);

    // The errno value of the last failure, 0 when there was none.
    int error() const { return m_error; }

    void close();

private:
    int m_fd = -1;
    int m_error = 0;
};

} // namespace halcyra
