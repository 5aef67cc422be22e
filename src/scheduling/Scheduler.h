#pragma once

#include "base/Clock.h"
#include "platform/CrontabBackend.h"
#include "scheduling/MsTask.h"
#include "scheduling/TaskJob.h"
#include "scheduling/TaskSchedule.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The file name of the program that cron starts for each scheduled run; it lives beside the desktop program.
inline constexpr std::string_view RunnerProgramName = "HalcyraRunner";

// Where the scheduler keeps its tasks and what it works with.
struct SchedulerSetup {
    std::string tasksFolder; // with a trailing '/'; created when missing
    std::string runnerPath;  // the runner cron starts
    std::string programPath; // this program: the application whose tasks the profile look-ups search
    std::shared_ptr<CrontabBackend> crontab;
    Clock* clock = nullptr; // not owned
};

// The set-up of the running program: the data folder's "Tasks/", the runner beside this program, the
// crontab program and the system clock.
SchedulerSetup defaultSchedulerSetup();

// One opened task: its definition as stored (or as it will be stored, for a new one) and its run state.
// Changing `job` changes nothing until the task is saved.
struct ScheduledTask {
    std::string id; // stem of its job file; empty until a new task is saved
    TaskJob job;
    RunState state;
    bool running = false; // a run was in progress when the task was opened
};

// The task store and its engine: one job file per task ("<id>.job" in the tasks folder, written atomically),
// the run state the runner keeps beside it, and one crontab line per enabled trigger inside the maintained
// block of the user's crontab. Task names are unique without regard to ASCII letter case. Every change holds
// the store's lock file, so that programs changing tasks at the same time do not lose each other's changes.
class TaskScheduler {
public:
    explicit TaskScheduler(SchedulerSetup setup);

    const SchedulerSetup& setup() const { return m_setup; }

    // A new, unsaved task of the given name.
    ScheduledTask newTask(std::string_view name) const;

    // The task of that name. Nothing when there is none or its job file is not a job file; then `code` is
    // CannotOpenTask, or another code with `error` set when the store could not be read.
    std::optional<ScheduledTask> open(std::string_view name, std::int32_t& code, std::string& error);

    // Stores `task` and brings the crontab in line with it. A new task fails with AlreadyExists when its name
    // is taken. All or nothing: on failure the job file is as it was before (a new one is removed) and the
    // crontab is unchanged. Texts with NUL, CR or LF in the name or parameters, an empty name or an invalid
    // trigger give InvalidArg. The session's environment (captureSessionEnvironment) is stored with it.
    std::int32_t save(ScheduledTask& task, std::string& error);

    // Removes the named task's crontab lines and then its files. Nothing changes when the crontab cannot be
    // rewritten.
    std::int32_t remove(std::string_view name, std::string& error);

    // Every task of the store in the order of its job files (creation order), skipping job files that vanish
    // or are not job files. False, with `code` and `error`, when the store could not be read to its end.
    bool list(std::vector<ScheduledTask>& tasks, std::int32_t& code, std::string& error);

    // What describe() needs besides the task: the present time, the state of the cron daemon and the lines of
    // this store's crontab block (none when the crontab cannot be read).
    struct EngineState {
        TaskConditions conditions;
        std::vector<std::string> cronLines;
    };
    EngineState currentState();
    // The record of an opened task under `state`: its own `running` flag is taken from the task, and an
    // enabled task counts as scheduled only while every crontab line it needs is in `state.cronLines`.
    TSchedTask describe(const ScheduledTask& task, const EngineState& state);

    // Writes the crontab lines of enabled tasks that are missing from this store's block (and drops lines of
    // tasks that are gone), for a store copied from elsewhere or a crontab edited by hand. Ok without
    // touching the crontab when no enabled task needs a line.
    std::int32_t restoreCrontab(std::string& error);

    // The crontab lines the task stored as `id` needs: one per enabled trigger, none for a disabled task.
    // InvalidArg, with `error`, when a line cannot be written safely or would be longer than cron accepts.
    std::int32_t cronLinesOf(std::string_view id, const TaskJob& job, std::vector<std::string>& lines,
                             std::string& error) const;

    // Full path of the job file with stem `id`.
    std::string jobPath(std::string_view id) const;

private:
    enum class Load { Ok, Missing, Invalid, Error };
    Load load(const std::string& id, ScheduledTask& task, std::string& error) const;
    bool listIds(std::vector<std::string>& ids, std::string& error) const;
    std::int32_t expectedCronLines(std::vector<std::string>& lines, std::string& error) const;
    std::int32_t syncCrontab(std::string& error);
    std::string newId() const;

    SchedulerSetup m_setup;
};

// Whether a run of the task whose run lock is at `lockPath` is in progress (a runner holds the lock).
bool runLockHeld(const std::string& lockPath);

// Removes from `crontab` every line that starts the runner for the job file `jobPath` (in its store's block
// and in a block of the older format), for a runner whose job file is gone. `removed` counts the lines.
// False, with `error`, when the crontab could not be read or rewritten.
bool removeJobFromCrontab(CrontabBackend& crontab, const std::string& jobPath, std::size_t& removed,
                          std::string& error);

} // namespace halcyra
