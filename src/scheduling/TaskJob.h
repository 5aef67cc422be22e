#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halcyra {

// Task flags (bits of TaskJob::flags).
inline constexpr std::uint32_t TaskFlagDisabled = 0x04;
inline constexpr std::uint32_t TaskFlagDontStartIfOnBatteries = 0x40;

// A maximum run time of this many milliseconds (or 0) sets no limit.
inline constexpr std::uint32_t NoRunTimeLimit = 0xFFFFFFFF;

// The time a run may take under a maximum run time of `maxRunTimeMs`; nothing when it sets no limit.
std::optional<std::chrono::milliseconds> runTimeLimit(std::uint32_t maxRunTimeMs);

// One schedule of a task: every `daysInterval` days from `startDay`, at `startMinute` after midnight local
// time, up to and including `endDay` when there is one. Days are counted from 01/01/1970 in the local
// calendar.
struct TaskTrigger {
    std::int64_t startDay = 0;
    int startMinute = 9 * 60;
    int daysInterval = 1;
    std::optional<std::int64_t> endDay;
    bool enabled = true;

    bool operator==(const TaskTrigger&) const = default;
};

// The stored definition of one scheduled task.
struct TaskJob {
    std::string name;
    std::string application;
    std::string parameters;
    std::string workingDirectory;
    std::string comment;
    std::uint32_t flags = 0;
    std::uint32_t maxRunTimeMs = NoRunTimeLimit;
    std::vector<TaskTrigger> triggers;
    // Variables set for the started application (over the runner's own), in the order given.
    std::vector<std::pair<std::string, std::string>> environment;

    bool operator==(const TaskJob&) const = default;
};

// The text of a job file (LF line ends; every value escaped so that it stays on its line).
std::string formatTaskJob(const TaskJob& job);
// The job a job file's text holds; nothing when the text is not a complete job file.
std::optional<TaskJob> parseTaskJob(std::string_view text);

// How the most recent run of a task went, kept beside its job file by the runner.
struct RunState {
    enum class Outcome { None, Exited, Signalled, Terminated, NotStarted };

    std::optional<std::int64_t> lastStart; // seconds since the Unix epoch
    std::optional<std::int64_t> lastEnd;
    Outcome outcome = Outcome::None;
    int exitCode = 0;           // Exited: the exit status; Signalled: the signal
    std::int64_t runnerPid = 0; // while a run is in progress (0 otherwise)
    std::string message;        // NotStarted: why

    bool operator==(const RunState&) const = default;
};

std::string formatRunState(const RunState& state);
// Nothing when the text is not a run-state record.
std::optional<RunState> parseRunState(std::string_view text);

// Where a job file's run state and run lock live: beside it, with the suffix ".state" or ".lock" in place of
// ".job".
std::string runStatePath(std::string_view jobPath);
std::string runLockPath(std::string_view jobPath);

// The variables of this process that a scheduled run needs to behave as in this session: HOME, USER,
// LOGNAME, the XDG data and config locations, LANG, LANGUAGE, LC_* and TZ (those that are set, in the
// process's order).
std::vector<std::pair<std::string, std::string>> captureSessionEnvironment();

// Reads a whole job or run-state file: 0, or the errno value of the failure (ENOENT when it does not exist,
// EINVAL when it is not a regular file, EFBIG when it is too large to be one).
int readTaskRecord(const std::string& path, std::string& text);
// Makes `text` (LF-separated lines) the whole contents of `path`, atomically. False with `error` set when the
// previous file stays as it was.
bool writeTaskRecord(const std::string& path, std::string_view text, std::string& error);

// Whether `text` holds NUL, CR or LF, which no task name or parameter text may contain.
bool holdsLineBreakOrNul(std::string_view text);

} // namespace halcyra
