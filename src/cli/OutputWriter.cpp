#include "cli/OutputWriter.h"

#include "base/IOStream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace halcyra {

OutputWriter::OutputWriter(int fd) : m_fd(fd) {
    m_buffer.reserve(BufferSize);
}

void OutputWriter::write(std::string_view text) {
    if (m_buffer.size() + text.size() > BufferSize) {
        flush();
        if (text.size() >= BufferSize) {
            writeAll(text.data(), text.size());
            return;
        }
    }
    m_buffer.append(text);
}

void OutputWriter::flush() {
    if (m_buffer.empty())
        return;
    writeAll(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void OutputWriter::writeAll(const char* data, std::size_t size) {
    if (!halcyra::writeAll(m_fd, data, size))
        throw OutputWriteError(std::strerror(errno));
}

} // namespace halcyra
