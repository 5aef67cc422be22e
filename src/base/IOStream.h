#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// The system's message text for an errno value.
std::string systemMessage(int error);

// Reads the whole regular file `path` into `text`: 0, or the errno value of the failure (ENOENT when it does
// not exist, EINVAL when it is not a regular file, EFBIG when it holds more than `maxSize` bytes). A file
// that would block is an error, never a wait.
int readWholeFile(const std::string& path, std::string& text, std::int64_t maxSize);

// Writes all `size` bytes of `data` to `fd`, retrying interrupted and short writes. False with errno set
// when a write failed (EIO when the system wrote nothing without saying why).
bool writeAll(int fd, const void* data, std::size_t size);

// False only when nothing stands at `path` (no entry, a dangling link, or a missing folder on the way).
bool fileExists(const std::string& path);

// The failure text for a path that names something other than a regular file (a device, FIFO or socket).
std::string notRegularFileText();

// Where a write to the file the user named `path` lands: a symbolic link is followed (through any chain of
// links) to the file it names, which need not exist yet, so that the link stays a link.
struct UserTarget {
    std::string path;                     // the file itself
    std::optional<unsigned> existingMode; // its permission bits when it exists
};

// Resolves `path` as a UserTarget. False with `errorText` set when it names a folder or anything else that
// is not a regular file (never to be replaced), or when its links cannot be followed.
bool resolveUserTarget(const std::string& path, UserTarget& target, std::string& errorText);

// Who may read a file a writer makes.
enum class FileAccess {
    Private,  // the program's own data files: mode 0600
    UserFile, // a file the user named: resolved as a UserTarget; a new file gets 0666 less the umask, a
              // replaced one keeps its mode
};

// The longest line the data-file readers accept and their writers put out, line end not counted.
inline constexpr std::size_t MaxLineLength = std::size_t{1} << 20;

// The failure text of a line longer than MaxLineLength.
std::string lineTooLongText();

// Reads a text file line by line. A line ends at LF or CR LF; a CR not followed by LF is dropped from
// the line; the last line needs no line end. Any byte, NUL included, is ordinary text. A line longer
// than MaxLineLength is a read failure, so no file can make the reader hold more than about that much.
// Only regular files are opened (a FIFO or device is refused unopened), and a read that would block
// (a special file that claims to be regular) is a read failure rather than a wait.
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

// Writes a text file so that it is replaced whole or not at all: lines go to a temporary file
// "<target>.tmpXXXXXX" in the target's folder, which commit() flushes, syncs and renames over the
// target (for FileAccess::UserFile, the file a link names). A writer destroyed without a successful commit
// removes its temporary file and leaves the
// target as it was. A writer holds a lock on its temporary file while it exists, and open() removes
// the target's temporary files that no writer holds (left by a writer that was killed).
class AtomicLineWriter {
public:
    // Where a failure happened: creating the file (the temporary file or its final name) or writing it.
    enum class Failure { None, Create, Write };

    // A line longer than `maxLineLength` is a write failure (lineTooLongText()).
    explicit AtomicLineWriter(std::string target, std::size_t maxLineLength = std::string::npos,
                              FileAccess access = FileAccess::Private);
    ~AtomicLineWriter();
    AtomicLineWriter(const AtomicLineWriter&) = delete;
    AtomicLineWriter& operator=(const AtomicLineWriter&) = delete;

    // Creates the temporary file; false with failure() Create when it cannot.
    bool open();
    // Appends `line` and an LF. False (failure() Write) once anything could not be written.
    bool writeLine(std::string_view line);
    // Flushes and syncs the written lines and closes the temporary file, which stays until commit() or
    // destruction. From here the temporary is no longer locked, so the caller keeps other writers of the
    // same target away until then. False with failure() set when it could not.
    bool prepare();
    // Makes the written lines the target's contents (preparing them first when not yet done). False with
    // failure() set when it could not.
    bool commit();

    Failure failure() const { return m_failure; }
    const std::string& errorText() const { return m_error; }

private:
    bool flushBuffer();
    void fail(Failure failure, int error);
    void fail(Failure failure, std::string text);
    void discard();

    std::string m_target;
    std::size_t m_maxLineLength;
    FileAccess m_access;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_prepared = false;
    std::string m_buffer;
    Failure m_failure = Failure::None;
    std::string m_error;
};

// Whether `name` is `stem` followed by exactly six letters or digits (the XXXXXX of mkstemp).
bool hasRandomSuffix(std::string_view name, std::string_view stem);

// Creates a new file from `pattern`, whose last six characters are replaced (as by mkstemp), and holds an
// exclusive lock on it for as long as the returned descriptor is open, so that removeUnlockedEntry never
// takes it for a leftover. -1 with errno set when it cannot.
int createLockedFile(std::string& pattern);
// The same for a new folder (as by mkdtemp): the descriptor is the folder's, locked.
int createLockedFolder(std::string& pattern);

// Removes the entry `name` of `folder` (open as `folderFd`) when it is a regular file (or, with `folders`,
// a folder with its contents), never a link, whose lock no process holds: what a killed holder of
// createLockedFile/createLockedFolder left.
void removeUnlockedEntry(const std::string& folder, int folderFd, const char* name, bool folders);

// Removes the temporary files of `target` that no AtomicLineWriter holds: regular files beside it
// named exactly "<target's name>.tmp" followed by six letters or digits. Nothing else is touched.
void removeStaleTemporaryFiles(const std::string& target);

} // namespace halcyra
