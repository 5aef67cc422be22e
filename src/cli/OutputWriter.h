#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halcyra {

// Raised when the output cannot take what is written (a closed pipe, a full disk); what() holds
// the system's message for the failure.
class OutputWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Buffers text for one file descriptor and writes it in large blocks. Every failed write throws
// OutputWriteError; nothing is lost silently. The descriptor is borrowed, not owned.
class OutputWriter {
public:
    static constexpr std::size_t BufferSize = 64 * 1024;

    explicit OutputWriter(int fd);
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    void write(std::string_view text);

    // Writes out everything buffered so far.
    void flush();

    // Whether text is buffered that has not been written out yet.
    bool hasPending() const { return !m_buffer.empty(); }

private:
    void writeAll(const char* data, std::size_t size);

    int m_fd;
    std::string m_buffer;
};

} // namespace halcyra
