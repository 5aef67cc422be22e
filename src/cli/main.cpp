// HalcyraCL: prints the MD5 or CRC-32 of every file matching the file patterns on its command line.

#include "HalcyraVersion.h"
#include "base/Paths.h"
#include "cli/ConsoleHasher.h"
#include "cli/OutputWriter.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using namespace halcyra;

namespace {

// The running program file's name without its folder.
std::string programFileName(const char* argv0) {
    std::string name(namePart(programPath()));
    if (name.empty() && argv0 != nullptr)
        name = namePart(argv0);
    return name;
}

void writeUsage(OutputWriter& out, const std::string& programName) {
    out.write(HALCYRACL_TITLE "\r\n");
    out.write("Usage: " + programName + " [options] filenames\r\n");
    out.write("\r\n"
              "Options:\r\n"
              "\r\n"
              "-r  : Recursively scan the following parameters\r\n"
              "-nr : Do not recursively scan the following parameters (default)\r\n"
              "-m  : Calculate MD5 hash value for the following parameters (default)\r\n"
              "-c  : Calculate CRC32 value for the following parameters\r\n"
              "\r\n");
    out.write("For example: " + programName + " userguide.doc *.pas " + "-c" + " " + "-r" + " c:\\temp\\*.*" +
              "\r\n");
}

// Nothing more can be done when standard error fails too.
void writeError(const std::string& line) {
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
}

void reportFatal(const std::string& message) {
    writeError(message + "\r\n");
}

} // namespace

int main(int argc, char** argv) {
    // A closed pipe must surface as a failed write, not as a silent death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN); // likewise an output file at the file-size limit
    // When started without standard output, keep descriptor 1 from being reused by a file the run
    // opens: a read-only placeholder makes every write fail instead.
    if (fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
        const int placeholder = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (placeholder >= 0 && placeholder != STDOUT_FILENO) {
            dup2(placeholder, STDOUT_FILENO);
            close(placeholder);
        }
    }

    OutputWriter out(STDOUT_FILENO);
    try {
        if (argc < 2) {
            writeUsage(out, programFileName(argc > 0 ? argv[0] : nullptr));
        } else {
            ConsoleHasher hasher(
                out, [](const std::string& line) { writeError(line); }, usableCores());
            for (int i = 1; i < argc; ++i)
                hasher.processParameter(argv[i]);
            hasher.printHeldLines();
        }
        out.flush();
        // Some file systems report a failed write only when the file is closed.
        if (close(STDOUT_FILENO) != 0 && errno != EINTR)
            throw OutputWriteError(std::strerror(errno));
    } catch (const OutputWriteError& error) {
        reportFatal(std::string("Cannot write to standard output: ") + error.what());
        return 1;
    } catch (const std::exception& error) {
        reportFatal(std::string("Fatal error: ") + error.what());
        return 1;
    }
    return 0;
}
