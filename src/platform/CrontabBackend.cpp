#include "platform/CrontabBackend.h"

#include "base/Paths.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace halcyra {

namespace {

// A crontab program that takes longer than this is stopped and the operation fails.
constexpr std::chrono::seconds CommandTimeout{30};

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

struct CommandResult {
    bool started = false;
    bool timedOut = false;
    int status = 0; // waitpid status
    std::string out;
    std::string err;
    std::string failure; // why it could not be run
};

// Runs `program` with `args` (argv[0] included) under the C locale, feeding it `input` on standard input and
// collecting both output streams. Standard input is a socket, so that a program that exits without reading
// everything cannot raise SIGPIPE in this process.
CommandResult runCommand(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
    CommandResult result;
    int inPair[2];
    int outPipe[2];
    int errPipe[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inPair) != 0) {
        result.failure = std::strerror(errno);
        return result;
    }
    Fd inOurs(inPair[0]), inTheirs(inPair[1]);
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        result.failure = std::strerror(errno);
        return result;
    }
    Fd outOurs(outPipe[0]), outTheirs(outPipe[1]);
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        result.failure = std::strerror(errno);
        return result;
    }
    Fd errOurs(errPipe[0]), errTheirs(errPipe[1]);

    std::vector<std::string> envText;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (text.rfind("LC_ALL=", 0) != 0 && text.rfind("LANGUAGE=", 0) != 0)
            envText.emplace_back(text);
    }
    envText.emplace_back("LC_ALL=C");
    std::vector<char*> envp;
    for (std::string& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    std::vector<std::string> argText(args);
    std::vector<char*> argv;
    for (std::string& text : argText)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inTheirs.get(), 0);
    posix_spawn_file_actions_adddup2(&actions, outTheirs.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, errTheirs.get(), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t noneBlocked;
    sigemptyset(&noneBlocked);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &noneBlocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const int spawnError =
        posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0) {
        result.failure = std::strerror(spawnError);
        return result;
    }
    result.started = true;
    inTheirs.reset();
    outTheirs.reset();
    errTheirs.reset();
    fcntl(inOurs.get(), F_SETFL, O_NONBLOCK);

    std::size_t written = 0;
    if (input.empty())
        shutdown(inOurs.get(), SHUT_WR);
    const auto deadline = std::chrono::steady_clock::now() + CommandTimeout;
    bool inputOpen = !input.empty();
    bool outOpen = true;
    bool errOpen = true;
    while (outOpen || errOpen || inputOpen) {
        pollfd fds[3];
        nfds_t count = 0;
        int inIndex = -1, outIndex = -1, errIndex = -1;
        if (inputOpen) {
            fds[count] = {inOurs.get(), POLLOUT, 0};
            inIndex = static_cast<int>(count++);
        }
        if (outOpen) {
            fds[count] = {outOurs.get(), POLLIN, 0};
            outIndex = static_cast<int>(count++);
        }
        if (errOpen) {
            fds[count] = {errOurs.get(), POLLIN, 0};
            errIndex = static_cast<int>(count++);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        const int ready = poll(fds, count, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            result.failure = std::strerror(errno);
            kill(pid, SIGKILL);
            break;
        }
        if (inIndex >= 0 && fds[inIndex].revents != 0) {
            const ssize_t sent =
                send(inOurs.get(), input.data() + written, input.size() - written, MSG_NOSIGNAL);
            if (sent > 0)
                written += static_cast<std::size_t>(sent);
            if ((sent < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                shutdown(inOurs.get(), SHUT_WR);
                inputOpen = false;
            }
        }
        char buffer[4096];
        if (outIndex >= 0 && fds[outIndex].revents != 0) {
            const ssize_t got = ::read(outOurs.get(), buffer, sizeof buffer);
            if (got > 0)
                result.out.append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                outOpen = false;
        }
        if (errIndex >= 0 && fds[errIndex].revents != 0) {
            const ssize_t got = ::read(errOurs.get(), buffer, sizeof buffer);
            if (got > 0)
                result.err.append(buffer, static_cast<std::size_t>(got));
            else if (got == 0 || errno != EINTR)
                errOpen = false;
        }
    }
    while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
    return result;
}

// Why a finished command failed, for an error text.
std::string failureText(const std::string& what, const CommandResult& result) {
    if (!result.started)
        return what + ": " + result.failure;
    if (result.timedOut)
        return what + ": no answer within " + std::to_string(CommandTimeout.count()) + " seconds";
    if (!result.failure.empty())
        return what + ": " + result.failure;
    const std::string message = trimmed(result.err);
    if (!message.empty())
        return what + ": " + message;
    if (WIFSIGNALED(result.status))
        return what + ": ended by signal " + std::to_string(WTERMSIG(result.status));
    return what + ": exit status " + std::to_string(WEXITSTATUS(result.status));
}

bool succeeded(const CommandResult& result) {
    return result.started && !result.timedOut && result.failure.empty() && WIFEXITED(result.status) &&
           WEXITSTATUS(result.status) == 0;
}

} // namespace

CommandCrontabBackend::CommandCrontabBackend(std::string program, std::string procRoot)
    : m_program(std::move(program)), m_procRoot(std::move(procRoot)) {}

std::string CommandCrontabBackend::resolvedProgram() const {
    if (m_program.find('/') != std::string::npos)
        return isExecutableFile(m_program) ? m_program : std::string();
    const char* path = std::getenv("PATH");
    const std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        if (folder.empty())
            folder = ".";
        const std::string candidate = withTrailingSlash(folder) + m_program;
        if (isExecutableFile(candidate))
            return candidate;
        start = end + 1;
    }
    return {};
}

bool CommandCrontabBackend::available() {
    return !resolvedProgram().empty();
}

bool CommandCrontabBackend::read(std::string& text, std::string& error) {
    const std::string program = resolvedProgram();
    if (program.empty()) {
        error = "crontab -l: the program " + m_program + " was not found";
        return false;
    }
    const CommandResult result = runCommand(program, {m_program, "-l"}, {});
    if (succeeded(result)) {
        text = result.out;
        return true;
    }
    // A user without a crontab is told so with a failure status; that is an empty crontab.
    if (result.started && !result.timedOut && WIFEXITED(result.status) &&
        result.err.find("no crontab for ") != std::string::npos) {
        text.clear();
        return true;
    }
    error = failureText("crontab -l", result);
    return false;
}

bool CommandCrontabBackend::write(const std::string& text, std::string& error) {
    const std::string program = resolvedProgram();
    if (program.empty()) {
        error = "crontab -: the program " + m_program + " was not found";
        return false;
    }
    const CommandResult result = runCommand(program, {m_program, "-"}, text);
    if (succeeded(result))
        return true;
    error = failureText("crontab -", result);
    return false;
}

bool CommandCrontabBackend::daemonRunning() {
    return cronDaemonListed(m_procRoot);
}

bool cronDaemonListed(const std::string& procRoot) {
    DIR* folder = opendir(procRoot.c_str());
    if (folder == nullptr)
        return false;
    bool found = false;
    while (const dirent* entry = readdir(folder)) {
        const char* name = entry->d_name;
        if (*name == '\0' || std::strspn(name, "0123456789") != std::strlen(name))
            continue;
        const std::string commPath = procRoot + "/" + name + "/comm";
        const int fd = open(commPath.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        char comm[64];
        const ssize_t got = ::read(fd, comm, sizeof comm - 1);
        close(fd);
        if (got <= 0)
            continue;
        std::string command(comm, static_cast<std::size_t>(got));
        command = trimmed(command);
        if (command == "cron" || command == "crond") {
            found = true;
            break;
        }
    }
    closedir(folder);
    return found;
}

} // namespace halcyra
