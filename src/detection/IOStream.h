#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// The system's message text for an errno value.
std::string systemMessage(int error);

// False only when nothing stands at `path` (no entry, a dangling link, or a missing folder on the way).
bool fileExists(const std::string& path);

// Reads a text file line by line. A line ends at LF or CR LF; a CR not followed by LF is dropped from
// the line; lines of any length are read whole; the last line needs no line end. Any byte, NUL
// included, is ordinary text. Only regular files are opened (a FIFO or device is refused unopened).
class LineReader {
public:
    LineReader() = default;
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Opens `path` for reading from its start; false with errorText() set when it cannot.
    bool open(const std::string& path);

    // The next line, without its line end. False at the end of the file or after a read failure,
    // which failed() tells apart.
    bool readLine(std::string& line);

    bool failed() const { return !m_error.empty(); }
    const std::string& errorText() const { return m_error; }

private:
    bool fill();

    int m_fd = -1;
    std::string m_buffer;
    std::size_t m_pos = 0;
    bool m_eof = false;
    std::string m_error;
};

// Writes a text file so that it is replaced whole or not at all: lines go to a temporary file in the
// target's folder, which commit() flushes, syncs and renames over the target. A writer destroyed
// without a successful commit removes its temporary file and leaves the target as it was.
class AtomicLineWriter {
public:
    // Where a failure happened: creating the file (the temporary file or its final name) or writing it.
    enum class Failure { None, Create, Write };

    explicit AtomicLineWriter(std::string target);
    ~AtomicLineWriter();
    AtomicLineWriter(const AtomicLineWriter&) = delete;
    AtomicLineWriter& operator=(const AtomicLineWriter&) = delete;

    // Creates the temporary file; false with failure() Create when it cannot.
    bool open();
    // Appends `line` and an LF. False (failure() Write) once anything could not be written.
    bool writeLine(std::string_view line);
    // Makes the written lines the target's contents. False with failure() set when it could not.
    bool commit();

    Failure failure() const { return m_failure; }
    const std::string& errorText() const { return m_error; }

private:
    bool flushBuffer();
    void fail(Failure failure, int error);
    void discard();

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    std::string m_buffer;
    Failure m_failure = Failure::None;
    std::string m_error;
};

} // namespace halcyra
