// HalcyraRunner: started by cron for one trigger of one scheduled task. It checks whether the task is due,
// starts its application without a shell, waits for it within the task's maximum run time and records the
// run.
//
// Usage: HalcyraRunner [--now=SECONDS] JOBFILE [TRIGGER]
//   JOBFILE  absolute path of the task's job file
//   TRIGGER  index of the trigger that fired; without it any enabled trigger due today will do
//   --now    take this moment (seconds since the Unix epoch) as the present for the date checks and the
//   record
//
// Exit status: 0 when the application ran (whatever its own result, which is recorded) or the run was not
// due, or when the job file is gone and its crontab lines were removed; 1 when the job could not be run or
// recorded; 2 for a wrong command line. A time limit of 0 sets no limit.

#include "base/DateTime.h"
#include "base/IOStream.h"
#include "base/NumberText.h"
#include "base/Paths.h"
#include "platform/CrontabBackend.h"
#include "platform/PowerSupply.h"
#include "scheduling/MsTaskUtils.h"
#include "scheduling/Scheduler.h"
#include "scheduling/TaskJob.h"
#include "scheduling/TaskSchedule.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <pwd.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace halcyra {
namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
// After SIGTERM, the application's process group has this long to end before SIGKILL.
constexpr std::chrono::seconds TerminateGrace{5};

struct Options {
    std::string jobPath;
    std::optional<std::size_t> trigger;
    std::optional<std::int64_t> now;
};

std::optional<Options> parseOptions(int argc, char** argv) {
    Options options;
    std::vector<std::string_view> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.rfind("--now=", 0) == 0) {
            options.now = decimalInteger<std::int64_t>(arg.substr(6));
            if (!options.now)
                return std::nullopt;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty() || positional.size() > 2 || positional[0].empty() || positional[0][0] != '/')
        return std::nullopt;
    options.jobPath = positional[0];
    if (positional.size() == 2) {
        options.trigger = decimalInteger<std::size_t>(positional[1]);
        if (!options.trigger)
            return std::nullopt;
    }
    return options;
}

void complain(const std::string& jobPath, const std::string& text) {
    std::cerr << "HalcyraRunner: " << jobPath << ": " << text << std::endl;
}

// Cron gives a minimal environment; a missing HOME is taken from the password database.
void ensureHome() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
        setenv("HOME", entry->pw_dir, 1);
}

// The application's environment: the runner's own, with the job's variables set over it, and a PATH.
std::vector<std::string> childEnvironment(const TaskJob& job) {
    std::vector<std::string> entries;
    auto set = [&entries](const std::string& name, const std::string& value) {
        const std::string prefix = name + "=";
        for (std::string& entry : entries) {
            if (entry.rfind(prefix, 0) == 0) {
                entry = prefix + value;
                return;
            }
        }
        entries.push_back(prefix + value);
    };
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry)
        entries.emplace_back(*entry);
    for (const auto& [name, value] : job.environment)
        set(name, value);
    if (std::getenv("PATH") == nullptr)
        set("PATH", "/usr/local/bin:/usr/bin:/bin");
    return entries;
}

// Takes the task's run lock; -1 when another run holds it or it cannot be taken (`busy` tells which).
int takeRunLock(const std::string& path, bool& busy) {
    busy = false;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0)
        return -1;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        busy = errno == EAGAIN || errno == EACCES;
        close(fd);
        return -1;
    }
    return fd;
}

struct ChildEnd {
    RunState::Outcome outcome = RunState::Outcome::Exited;
    int code = 0;
};

// Waits for the application, ending its process group when the time limit passes or the runner is told to
// stop. Every signal the wait listens for is blocked by the caller.
ChildEnd waitForChild(pid_t pid, std::uint32_t limitMs, const sigset_t& signals) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    const std::optional<std::chrono::milliseconds> limit = runTimeLimit(limitMs);
    const bool limited = limit.has_value();
    const auto deadline = started + limit.value_or(std::chrono::milliseconds(0));
    bool terminating = false;
    Clock::time_point killAt{};
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            if (terminating) {
                kill(-pid, SIGKILL); // whatever of the group is left
                return {RunState::Outcome::Terminated, 0};
            }
            if (WIFSIGNALED(status))
                return {RunState::Outcome::Signalled, WTERMSIG(status)};
            return {RunState::Outcome::Exited, WEXITSTATUS(status)};
        }
        const auto now = Clock::now();
        if (!terminating && limited && now >= deadline) {
            kill(-pid, SIGTERM);
            terminating = true;
            killAt = now + TerminateGrace;
            continue;
        }
        if (terminating && now >= killAt) {
            kill(-pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return {RunState::Outcome::Terminated, 0};
        }
        auto wake = terminating ? killAt : (limited ? deadline : now + std::chrono::hours(1));
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now);
        timespec timeout{static_cast<time_t>(wait.count() / 1000000000),
                         static_cast<long>(wait.count() % 1000000000)};
        const int signal = sigtimedwait(&signals, nullptr, &timeout);
        if ((signal == SIGTERM || signal == SIGINT || signal == SIGHUP) && !terminating) {
            kill(-pid, SIGTERM);
            terminating = true;
            killAt = Clock::now() + TerminateGrace;
        }
    }
}

// The job file is gone (its task was deleted while cron was not told, or the data folder was removed): the
// lines that start it are taken out of the crontab, so that this is said once rather than every day.
int forgetRemovedTask(const std::string& jobPath) {
    CommandCrontabBackend crontab;
    std::size_t removed = 0;
    std::string error;
    if (!removeJobFromCrontab(crontab, jobPath, removed, error)) {
        complain(jobPath, "the task no longer exists, and its crontab lines could not be removed: " + error);
        return ExitFailed;
    }
    if (removed == 0) {
        complain(jobPath, "the task no longer exists");
        return ExitFailed;
    }
    complain(jobPath, "the task no longer exists; its crontab lines were removed");
    return ExitOk;
}

int run(const Options& options) {
    const std::string& jobPath = options.jobPath;
    ensureHome();
    std::string text;
    if (const int error = readTaskRecord(jobPath, text); error == ENOENT) {
        return forgetRemovedTask(jobPath);
    } else if (error != 0) {
        complain(jobPath, "the task cannot be read: " + systemMessage(error));
        return ExitFailed;
    }
    const std::optional<TaskJob> job = parseTaskJob(text);
    if (!job) {
        complain(jobPath, "the file is not a task");
        return ExitFailed;
    }
    const std::int64_t startUnix = options.now.value_or(static_cast<std::int64_t>(std::time(nullptr)));
    const bool onBattery = (job->flags & TaskFlagDontStartIfOnBatteries) != 0 && onBatteryPower();
    switch (decideRun(*job, options.trigger, localDateTime(startUnix), onBattery)) {
    case RunDecision::Start:
        break;
    case RunDecision::TaskDisabled:
    case RunDecision::NotDue:
        return ExitOk;
    case RunDecision::OnBattery:
        complain(jobPath, "not started: the computer runs on batteries");
        return ExitOk;
    case RunDecision::NoSuchTrigger:
        complain(jobPath, "the task has no trigger " + std::to_string(*options.trigger));
        return ExitFailed;
    }

    bool busy = false;
    const int lock = takeRunLock(runLockPath(jobPath), busy);
    if (lock < 0) {
        complain(jobPath, busy ? std::string("not started: a run of the task is still in progress")
                               : "the run lock cannot be taken: " + systemMessage(errno));
        return busy ? ExitOk : ExitFailed;
    }
    const std::string statePath = runStatePath(jobPath);
    RunState state;
    state.lastStart = startUnix;
    state.runnerPid = getpid();
    std::string error;
    if (!writeTaskRecord(statePath, formatRunState(state), error)) {
        complain(jobPath, error);
        return ExitFailed;
    }

    std::vector<std::string> arguments{job->application};
    for (std::string& word : splitTaskParameters(job->parameters))
        arguments.push_back(std::move(word));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = childEnvironment(*job);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    sigprocmask(SIG_BLOCK, &signals, nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!job->workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, job->workingDirectory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    pid_t pid = -1;
    const int spawnError =
        posix_spawn(&pid, job->application.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    const auto started = std::chrono::steady_clock::now();
    if (spawnError != 0) {
        state.outcome = RunState::Outcome::NotStarted;
        state.message =
            job->application + " could not be started in " +
            (job->workingDirectory.empty() ? std::string("the current folder") : job->workingDirectory) +
            ": " + systemMessage(spawnError);
        complain(jobPath, state.message);
    } else {
        const ChildEnd end = waitForChild(pid, job->maxRunTimeMs, signals);
        state.outcome = end.outcome;
        state.exitCode = end.code;
        if (end.outcome == RunState::Outcome::Terminated)
            complain(jobPath, "the run was ended: it passed the task's time limit or the runner was stopped");
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    state.lastEnd = startUnix + elapsed.count();
    state.runnerPid = 0;
    if (!writeTaskRecord(statePath, formatRunState(state), error)) {
        complain(jobPath, error);
        return ExitFailed;
    }
    close(lock);
    return spawnError == 0 ? ExitOk : ExitFailed;
}

} // namespace
} // namespace halcyra

int main(int argc, char** argv) {
    // A task record written past the file-size limit fails with EFBIG and is reported.
    std::signal(SIGXFSZ, SIG_IGN);
    const auto options = halcyra::parseOptions(argc, argv);
    if (!options) {
        std::cerr << "Usage: HalcyraRunner [--now=SECONDS] JOBFILE [TRIGGER]" << std::endl;
        return halcyra::ExitUsage;
    }
    return halcyra::run(*options);
}
