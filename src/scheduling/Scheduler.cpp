#include "scheduling/Scheduler.h"

#include "base/AsciiCase.h"
#include "base/IOStream.h"
#include "base/Paths.h"
#include "scheduling/CronTable.h"
#include "scheduling/TaskSchedule.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr std::string_view JobSuffix = ".job";
bool makeFolders(const std::string& folder, std::string& error) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (!prefix.empty() && mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "The folder " + prefix + " could not be created: " + systemMessage(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    return true;
}

// Holds the store's lock file for its lifetime.
class StoreLock {
public:
    explicit StoreLock(const std::string& path) {
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) {
            m_error = "The lock file " + path + " could not be opened: " + systemMessage(errno);
            return;
        }
        while (flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                m_error = "The lock file " + path + " could not be locked: " + systemMessage(errno);
                close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~StoreLock() {
        if (m_fd >= 0)
            close(m_fd);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    bool held() const { return m_fd >= 0; }
    const std::string& error() const { return m_error; }

private:
    int m_fd = -1;
    std::string m_error;
};

// The lock of the store in `tasksFolder` (created with the folder when missing); null, with `error`, when it
// cannot be taken.
std::unique_ptr<StoreLock> lockStore(const std::string& tasksFolder, std::string& error) {
    if (!makeFolders(tasksFolder, error))
        return nullptr;
    auto lock = std::make_unique<StoreLock>(tasksFolder + ".lock");
    if (!lock->held()) {
        error = lock->error();
        return nullptr;
    }
    return lock;
}

std::int32_t codeOfErrno(int error) {
    switch (error) {
    case ENOMEM:
        return SchedCode::OutOfMemory;
    case EACCES:
    case EPERM:
        return SchedCode::AccessDenied;
    default:
        return SchedCode::Fail;
    }
}

bool validTrigger(const TaskTrigger& trigger) {
    // Day numbers of 01/01/0001 and 31/12/9999.
    constexpr std::int64_t FirstDay = -719162;
    constexpr std::int64_t LastDay = 2932896;
    return trigger.startMinute >= 0 && trigger.startMinute < 24 * 60 && trigger.daysInterval >= 1 &&
           trigger.daysInterval <= 9999 && trigger.startDay >= FirstDay && trigger.startDay <= LastDay &&
           (!trigger.endDay || (*trigger.endDay >= trigger.startDay && *trigger.endDay <= LastDay));
}

} // namespace

SchedulerSetup defaultSchedulerSetup() {
    SchedulerSetup setup;
    setup.tasksFolder = dataFolder() + "Tasks/";
    setup.runnerPath = programFolder() + std::string(RunnerProgramName);
    setup.programPath = programPath();
    setup.crontab = std::make_shared<CommandCrontabBackend>();
    setup.clock = &Clock::system();
    return setup;
}

TaskScheduler::TaskScheduler(SchedulerSetup setup) : m_setup(std::move(setup)) {
    if (m_setup.clock == nullptr)
        m_setup.clock = &Clock::system();
    m_setup.tasksFolder = withTrailingSlash(m_setup.tasksFolder);
}

ScheduledTask TaskScheduler::newTask(std::string_view name) const {
    ScheduledTask task;
    task.job.name = name;
    return task;
}

std::string TaskScheduler::jobPath(std::string_view id) const {
    return m_setup.tasksFolder + std::string(id) + std::string(JobSuffix);
}

std::string TaskScheduler::newId() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint32_t random = 0;
    if (getrandom(&random, sizeof random, GRND_NONBLOCK) != sizeof random)
        random = static_cast<std::uint32_t>(getpid()) ^ static_cast<std::uint32_t>(now.tv_nsec);
    const unsigned long long stamp = static_cast<unsigned long long>(now.tv_sec) * 1000000000ULL +
                                     static_cast<unsigned long long>(now.tv_nsec);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%016llx%08x", stamp, random);
    return buffer;
}

bool TaskScheduler::listIds(std::vector<std::string>& ids, std::string& error) const {
    ids.clear();
    DIR* folder = opendir(m_setup.tasksFolder.c_str());
    if (folder == nullptr) {
        if (errno == ENOENT)
            return true;
        error = "The task folder " + m_setup.tasksFolder + " could not be read: " + systemMessage(errno);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(folder);
        if (entry == nullptr) {
            if (errno != 0) {
                error =
                    "The task folder " + m_setup.tasksFolder + " could not be read: " + systemMessage(errno);
                closedir(folder);
                return false;
            }
            break;
        }
        const std::string_view name = entry->d_name;
        if (name.size() > JobSuffix.size() && name.front() != '.' &&
            name.compare(name.size() - JobSuffix.size(), JobSuffix.size(), JobSuffix) == 0)
            ids.emplace_back(name.substr(0, name.size() - JobSuffix.size()));
    }
    closedir(folder);
    std::sort(ids.begin(), ids.end());
    return true;
}

TaskScheduler::Load TaskScheduler::load(const std::string& id, ScheduledTask& task,
                                        std::string& error) const {
    const std::string path = jobPath(id);
    std::string text;
    const int readError = readTaskRecord(path, text);
    if (readError == ENOENT)
        return Load::Missing;
    if (readError == EINVAL || readError == EFBIG)
        return Load::Invalid;
    if (readError != 0) {
        error = "The task file " + path + " could not be read: " + systemMessage(readError);
        return Load::Error;
    }
    auto job = parseTaskJob(text);
    if (!job)
        return Load::Invalid;
    task.id = id;
    task.job = std::move(*job);
    task.state = RunState{};
    std::string stateText;
    if (readTaskRecord(runStatePath(path), stateText) == 0) {
        if (auto state = parseRunState(stateText))
            task.state = std::move(*state);
    }
    task.running = runLockHeld(runLockPath(path));
    return Load::Ok;
}

bool TaskScheduler::list(std::vector<ScheduledTask>& tasks, std::int32_t& code, std::string& error) {
    tasks.clear();
    std::vector<std::string> ids;
    if (!listIds(ids, error)) {
        code = SchedCode::Fail;
        return false;
    }
    for (const std::string& id : ids) {
        ScheduledTask task;
        switch (load(id, task, error)) {
        case Load::Ok:
            tasks.push_back(std::move(task));
            break;
        case Load::Missing:
        case Load::Invalid:
            break;
        case Load::Error:
            code = SchedCode::Fail;
            return false;
        }
    }
    code = SchedCode::Ok;
    return true;
}

std::optional<ScheduledTask> TaskScheduler::open(std::string_view name, std::int32_t& code,
                                                 std::string& error) {
    std::vector<ScheduledTask> tasks;
    if (!list(tasks, code, error))
        return std::nullopt;
    for (ScheduledTask& task : tasks) {
        if (equalsIgnoringAsciiCase(task.job.name, name)) {
            code = SchedCode::Ok;
            return std::move(task);
        }
    }
    code = SchedCode::CannotOpenTask;
    return std::nullopt;
}

std::int32_t TaskScheduler::save(ScheduledTask& task, std::string& error) {
    const TaskJob& job = task.job;
    if (job.name.empty() || holdsLineBreakOrNul(job.name) || holdsLineBreakOrNul(job.parameters) ||
        holdsLineBreakOrNul(job.application) || holdsLineBreakOrNul(job.workingDirectory)) {
        error = "A task needs a name, and its name, program, parameters and working folder may not hold a "
                "line break or a NUL character.";
        return SchedCode::InvalidArg;
    }
    if (!std::all_of(job.triggers.begin(), job.triggers.end(), validTrigger)) {
        error = "A schedule of the task is not valid.";
        return SchedCode::InvalidArg;
    }
    const std::unique_ptr<StoreLock> lock = lockStore(m_setup.tasksFolder, error);
    if (!lock)
        return SchedCode::Fail;

    std::vector<std::string> ids;
    if (!listIds(ids, error))
        return SchedCode::Fail;
    std::optional<std::string> previousText;
    for (const std::string& id : ids) {
        ScheduledTask other;
        const Load loaded = load(id, other, error);
        if (loaded == Load::Error)
            return SchedCode::Fail;
        if (loaded != Load::Ok)
            continue;
        if (id == task.id) {
            previousText = formatTaskJob(other.job);
            continue;
        }
        if (equalsIgnoringAsciiCase(other.job.name, job.name)) {
            error = "A task named \"" + other.job.name + "\" exists already.";
            return SchedCode::AlreadyExists;
        }
    }
    const bool isNew = task.id.empty();
    if (!isNew && !previousText) {
        error = "The task \"" + job.name + "\" no longer exists.";
        return SchedCode::CannotOpenTask;
    }
    const std::string id = isNew ? newId() : task.id;
    const std::string path = jobPath(id);
    std::vector<std::string> lines;
    if (const std::int32_t code = cronLinesOf(id, job, lines, error); code != SchedCode::Ok)
        return code;

    TaskJob stored = job;
    stored.environment = captureSessionEnvironment();
    if (!writeTaskRecord(path, formatTaskJob(stored), error))
        return SchedCode::Fail;
    const std::int32_t synced = syncCrontab(error);
    if (synced != SchedCode::Ok) {
        std::string ignored;
        if (isNew)
            unlink(path.c_str());
        else
            writeTaskRecord(path, *previousText, ignored);
        return synced;
    }
    task.id = id;
    task.job = std::move(stored);
    return SchedCode::Ok;
}

std::int32_t TaskScheduler::remove(std::string_view name, std::string& error) {
    const std::unique_ptr<StoreLock> lock = lockStore(m_setup.tasksFolder, error);
    if (!lock)
        return SchedCode::Fail;
    std::int32_t code = SchedCode::Ok;
    const std::optional<ScheduledTask> task = open(name, code, error);
    if (!task)
        return code;
    const std::string path = jobPath(task->id);
    // Move the job file aside first, so that the crontab is brought in line without it; put it back when the
    // crontab cannot be rewritten.
    const std::string aside = m_setup.tasksFolder + "." + task->id + ".deleting";
    if (rename(path.c_str(), aside.c_str()) != 0) {
        const int renameError = errno;
        error = "The task file " + path + " could not be removed: " + systemMessage(renameError);
        return codeOfErrno(renameError);
    }
    const std::int32_t synced = syncCrontab(error);
    if (synced != SchedCode::Ok) {
        rename(aside.c_str(), path.c_str());
        return synced;
    }
    unlink(aside.c_str());
    unlink(runStatePath(path).c_str());
    unlink(runLockPath(path).c_str());
    return SchedCode::Ok;
}

std::int32_t TaskScheduler::cronLinesOf(std::string_view id, const TaskJob& job,
                                        std::vector<std::string>& lines, std::string& error) const {
    if ((job.flags & TaskFlagDisabled) != 0)
        return SchedCode::Ok;
    const std::string path = jobPath(id);
    for (std::size_t index = 0; index < job.triggers.size(); ++index) {
        const TaskTrigger& trigger = job.triggers[index];
        if (!trigger.enabled)
            continue;
        const auto line = cronTaskLine(trigger.startMinute, m_setup.runnerPath, path, index);
        if (!line) {
            error = "The paths " + m_setup.runnerPath + " and " + path +
                    " cannot be written to the crontab safely (a control character, or a backslash "
                    "before a percent sign).";
            return SchedCode::InvalidArg;
        }
        if (line->size() > MaxCronLineBytes) {
            error = "The task \"" + job.name + "\" cannot be scheduled: its crontab line would be " +
                    std::to_string(line->size()) + " bytes long, and cron accepts at most " +
                    std::to_string(MaxCronLineBytes) + ". The paths of the data folder (" +
                    m_setup.tasksFolder + ") and the program (" + m_setup.runnerPath + ") are too long.";
            return SchedCode::InvalidArg;
        }
        lines.push_back(*line);
    }
    return SchedCode::Ok;
}

std::int32_t TaskScheduler::expectedCronLines(std::vector<std::string>& lines, std::string& error) const {
    lines.clear();
    std::vector<std::string> ids;
    if (!listIds(ids, error))
        return SchedCode::Fail;
    for (const std::string& id : ids) {
        ScheduledTask task;
        const Load loaded = load(id, task, error);
        if (loaded == Load::Error)
            return SchedCode::Fail;
        if (loaded != Load::Ok)
            continue;
        if (const std::int32_t code = cronLinesOf(id, task.job, lines, error); code != SchedCode::Ok)
            return code;
    }
    return SchedCode::Ok;
}

std::int32_t TaskScheduler::syncCrontab(std::string& error) {
    std::vector<std::string> lines;
    if (const std::int32_t code = expectedCronLines(lines, error); code != SchedCode::Ok)
        return code;
    std::string current;
    if (!m_setup.crontab->read(current, error))
        return m_setup.crontab->available() ? SchedCode::Fail : SchedCode::ServiceNotInstalled;
    const std::string& folder = m_setup.tasksFolder;
    std::string updated;
    if (!replaceCronBlock(
            current, cronBlockMarkers(folder), lines,
            [&folder](std::string_view line) { return cronLineRunsJobIn(line, folder); }, updated, error))
        return SchedCode::Fail;
    if (updated != current && !m_setup.crontab->write(updated, error))
        return SchedCode::Fail;
    return SchedCode::Ok;
}

std::int32_t TaskScheduler::restoreCrontab(std::string& error) {
    std::vector<std::string> lines;
    if (const std::int32_t code = expectedCronLines(lines, error); code != SchedCode::Ok || lines.empty())
        return code;
    if (!m_setup.crontab->available()) {
        error = "The crontab program was not found, so the scheduled tasks of " + m_setup.tasksFolder +
                " cannot run.";
        return SchedCode::ServiceNotInstalled;
    }
    const std::unique_ptr<StoreLock> lock = lockStore(m_setup.tasksFolder, error);
    if (!lock)
        return SchedCode::Fail;
    return syncCrontab(error);
}

TaskScheduler::EngineState TaskScheduler::currentState() {
    EngineState state;
    state.conditions.now = localDateTime(m_setup.clock->now());
    state.conditions.daemonRunning = m_setup.crontab->daemonRunning();
    std::string text;
    std::string ignored;
    if (m_setup.crontab->read(text, ignored))
        state.cronLines = cronBlockLines(text, cronBlockMarkers(m_setup.tasksFolder));
    return state;
}

TSchedTask TaskScheduler::describe(const ScheduledTask& task, const EngineState& state) {
    TaskConditions conditions = state.conditions;
    conditions.running = task.running;
    std::vector<std::string> needed;
    std::string ignored;
    conditions.linesPresent =
        cronLinesOf(task.id, task.job, needed, ignored) == SchedCode::Ok &&
        std::all_of(needed.begin(), needed.end(), [&state](const std::string& line) {
            return std::find(state.cronLines.begin(), state.cronLines.end(), line) != state.cronLines.end();
        });
    return describeTask(task.job, task.state, conditions);
}

bool runLockHeld(const std::string& lockPath) {
    const int fd = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;
    const bool held = fcntl(fd, F_OFD_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    close(fd);
    return held;
}

bool removeJobFromCrontab(CrontabBackend& crontab, const std::string& jobPath, std::size_t& removed,
                          std::string& error) {
    removed = 0;
    std::string current;
    if (!crontab.read(current, error))
        return false;
    const CronBlockMarkers markers = cronBlockMarkers(folderPart(jobPath));
    std::vector<std::string> kept;
    for (std::string& line : cronBlockLines(current, markers)) {
        if (cronLineRunsJob(line, jobPath))
            ++removed;
        else
            kept.push_back(std::move(line));
    }
    std::string updated;
    if (!replaceCronBlock(
            current, markers, kept,
            [&](std::string_view line) {
                const bool runsJob = cronLineRunsJob(line, jobPath);
                removed += runsJob ? 1 : 0;
                return runsJob;
            },
            updated, error))
        return false;
    return updated == current || crontab.write(updated, error);
}

} // namespace halcyra
