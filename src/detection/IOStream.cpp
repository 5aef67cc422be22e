#include "detection/IOStream.h"

#include "base/Paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace halcyra {

namespace {

constexpr std::size_t BlockSize = 64 * 1024;

} // namespace

std::string systemMessage(int error) {
    return std::strerror(error);
}

bool fileExists(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0)
        return true;
    return errno != ENOENT && errno != ENOTDIR;
}

LineReader::~LineReader() {
    if (m_fd >= 0)
        close(m_fd);
}

bool LineReader::open(const std::string& path) {
    m_error.clear();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        m_error = systemMessage(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        m_error = systemMessage(EISDIR);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        m_error = "Not a regular file";
        return false;
    }
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        m_error = systemMessage(errno);
        return false;
    }
    struct stat opened {};
    if (fstat(m_fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        m_error = "Not a regular file";
        close(m_fd);
        m_fd = -1;
        return false;
    }
    fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    m_buffer.clear();
    m_pos = 0;
    m_eof = false;
    return true;
}

bool LineReader::fill() {
    if (m_eof || m_fd < 0 || !m_error.empty())
        return false;
    m_buffer.erase(0, m_pos);
    m_pos = 0;
    const std::size_t used = m_buffer.size();
    m_buffer.resize(used + BlockSize);
    for (;;) {
        const ssize_t count = read(m_fd, m_buffer.data() + used, BlockSize);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            m_error = systemMessage(errno);
            m_buffer.resize(used);
            return false;
        }
        m_buffer.resize(used + static_cast<std::size_t>(count));
        if (count == 0)
            m_eof = true;
        return count > 0;
    }
}

bool LineReader::readLine(std::string& line) {
    line.clear();
    std::size_t scanFrom = m_pos;
    for (;;) {
        const std::size_t end = m_buffer.find('\n', scanFrom);
        if (end != std::string::npos) {
            line.assign(m_buffer, m_pos, end - m_pos);
            m_pos = end + 1;
            break;
        }
        const std::size_t scanned = m_buffer.size() - m_pos;
        if (!fill()) {
            if (!m_error.empty() || m_pos == m_buffer.size())
                return false;
            line.assign(m_buffer, m_pos, std::string::npos); // last line without a line end
            m_pos = m_buffer.size();
            break;
        }
        scanFrom = m_pos + scanned;
    }
    // A CR before the LF ends the line with it; any other CR is dropped.
    if (line.find('\r') != std::string::npos) {
        std::size_t out = 0;
        for (char c : line)
            if (c != '\r')
                line[out++] = c;
        line.resize(out);
    }
    return true;
}

AtomicLineWriter::AtomicLineWriter(std::string target) : m_target(std::move(target)) {}

AtomicLineWriter::~AtomicLineWriter() {
    discard();
}

void AtomicLineWriter::discard() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

void AtomicLineWriter::fail(Failure failure, int error) {
    if (m_failure == Failure::None) {
        m_failure = failure;
        m_error = systemMessage(error);
    }
}

bool AtomicLineWriter::open() {
    std::vector<char> name(m_target.begin(), m_target.end());
    static constexpr char Suffix[] = ".tmpXXXXXX";
    name.insert(name.end(), Suffix, Suffix + sizeof Suffix); // with the terminating NUL
    m_fd = mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0) {
        fail(Failure::Create, errno);
        return false;
    }
    m_tempPath.assign(name.data());
    m_buffer.reserve(BlockSize);
    return true;
}

bool AtomicLineWriter::flushBuffer() {
    std::size_t done = 0;
    while (done < m_buffer.size()) {
        const ssize_t count = write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            fail(Failure::Write, count < 0 ? errno : EIO);
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    m_buffer.clear();
    return true;
}

bool AtomicLineWriter::writeLine(std::string_view line) {
    if (m_failure != Failure::None || m_fd < 0)
        return false;
    m_buffer.append(line);
    m_buffer += '\n';
    return m_buffer.size() < BlockSize || flushBuffer();
}

bool AtomicLineWriter::commit() {
    if (m_failure != Failure::None || m_fd < 0)
        return false;
    if (!flushBuffer())
        return false;
    if (fsync(m_fd) != 0) {
        fail(Failure::Write, errno);
        return false;
    }
    const int fd = m_fd;
    m_fd = -1;
    if (close(fd) != 0) {
        fail(Failure::Write, errno);
        return false;
    }
    if (rename(m_tempPath.c_str(), m_target.c_str()) != 0) {
        fail(Failure::Create, errno);
        return false;
    }
    m_tempPath.clear();
    // Make the rename itself durable; the new contents are in place whatever this gives.
    const std::string folder(folderPart(m_target));
    const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        fsync(folderFd);
        close(folderFd);
    }
    return true;
}

} // namespace halcyra
