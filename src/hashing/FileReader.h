#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace halcyra {

// Size of the blocks the file hashers read; a multiple of 64 (one MD5 block).
inline constexpr std::size_t FileBlockSize = 128 * 1024;

// Asked between blocks of a long read whether to give up; true stops the read.
using StopPoll = std::function<bool()>;

// How the file readers take contents from an open file; tests replace it to answer as a cold disk would.
class ContentReads {
public:
    virtual ~ContentReads() = default;
    // Reads up to `size` bytes at the current position of `fd`, as read() does. With `noWait`, reads only
    // what the page cache holds (preadv2 with RWF_NOWAIT): fails with EAGAIN when the rest would have to
    // come from the disk, or EOPNOTSUPP where the file system cannot tell, and may return fewer bytes than
    // the file still holds.
    virtual ssize_t read(int fd, std::uint8_t* buffer, std::size_t size, bool noWait);

    // The system's reads.
    static ContentReads& real();
};

// Sequential reader of one regular file, shared by the MD5 and CRC-32 file hashers.
// Only regular files are opened: a name that is missing, a folder, a FIFO, a socket or a device
// is refused after a stat, without being opened. The descriptor stays non-blocking, so a file
// that claims to be regular but would block (/proc/kmsg) fails with EAGAIN instead of hanging.
// The file is closed by close() or the destructor.
class RegularFileReader {
public:
    RegularFileReader() = default;
    ~RegularFileReader() { close(); }
    RegularFileReader(const RegularFileReader&) = delete;
    RegularFileReader& operator=(const RegularFileReader&) = delete;

    // Opens the file (symbolic links followed), whatever the length of its path. Returns 0, or the
    // errno value that says why the name cannot be read as a regular file.
    int open(const std::string& fileName);

    // Opens the entry `name` of the open folder `dirFd`, which the caller found to be the regular
    // file `seen` (a stat following links); it must still be that file when opened. Returns 0 or
    // the errno value, as open().
    int openAt(int dirFd, const std::string& name, const struct stat& seen);
    // Opens the entry `name` of `dirFd` (AT_FDCWD: `name` is a path of any length) that a folder listing
    // called a regular file, without a stat before: it is looked at once open, and refused as open() would.
    int openListed(int dirFd, const std::string& name);
    // What the last openListed() found: the open file's stat, or the name's when it could not be opened;
    // null when it was gone or could not be looked at.
    const struct stat* lookedAt() const { return m_lookedAt ? &m_stat : nullptr; }

    // Takes the contents through `reads` (not owned; the system's by default), with `noWait` only what
    // the page cache holds: a read that would wait for the disk fails and wouldWait() says so.
    void setReads(ContentReads& reads, bool noWait) {
        m_reads = &reads;
        m_noWait = noWait;
    }

    // Reads until `size` bytes are in `buffer` or the file ends. Returns the count, which is
    // below `size` only at end of file, or -1 when a read failed (error() tells why).
    ssize_t fill(std::uint8_t* buffer, std::size_t size);

    // The errno value of the last failure, 0 when there was none.
    int error() const { return m_error; }
    // Whether the last failure was a read without waiting that found the contents not in the page cache;
    // kept until the next open.
    bool wouldWait() const { return m_wouldWait; }

    void close();

private:
    // Takes the descriptor `fd` just opened for `seen` (null: whatever regular file it is) and checks it is
    // still that regular file.
    int adopt(int fd, const struct stat* seen);
    int openRelative(int dirFd, const std::string& name, const struct stat* seen);
    void begin();

    ContentReads* m_reads = &ContentReads::real();
    bool m_noWait = false;
    int m_fd = -1;
    int m_error = 0;
    bool m_wouldWait = false;
    struct stat m_stat {}; // of the open file
    bool m_lookedAt = false;
    off_t m_size = 0; // as the open file's stat gave it
    off_t m_read = 0; // bytes read so far
};

// How a whole-file read ended.
enum class ReadOutcome { Done, Failed, Stopped };

// Reads the open file to its end through `buffer` (`size` bytes, at least 1) and hands every filled
// part to `consume(const std::uint8_t*, std::size_t)`. With `poll` set, asks it between blocks about
// every 4 MiB read and at least every ~50 ms of reading; Stopped when it answers true. Failed when
// a read fails (reader.error() tells why).
template <typename Consume>
ReadOutcome readWholeFile(RegularFileReader& reader, std::uint8_t* buffer, std::size_t size,
                          const StopPoll* poll, Consume&& consume) {
    constexpr std::size_t PollBytes = 4 * 1024 * 1024;
    constexpr auto PollInterval = std::chrono::milliseconds(50);
    std::size_t sincePoll = 0;
    auto lastPoll =
        poll != nullptr ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    for (;;) {
        const ssize_t got = reader.fill(buffer, size);
        if (got < 0) {
            return ReadOutcome::Failed;
        }
        consume(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(got));
        if (static_cast<std::size_t>(got) < size) {
            return ReadOutcome::Done;
        }
        if (poll != nullptr) {
            sincePoll += size;
            const auto now = std::chrono::steady_clock::now();
            if (sincePoll >= PollBytes || now - lastPoll >= PollInterval) {
                if ((*poll)()) {
                    return ReadOutcome::Stopped;
                }
                sincePoll = 0;
                lastPoll = std::chrono::steady_clock::now();
            }
        }
    }
}

} // namespace halcyra
