#pragma once

#include "base/DateTime.h"
#include "scheduling/MsTask.h"
#include "scheduling/TaskJob.h"

#include <cstddef>
#include <optional>
#include <string>

namespace halcyra {

// The day number (days since 01/01/1970) of a local date-time, and the local date-time of a day's start.
std::int64_t dayOf(TDateTimeSecs localTime);
TDateTimeSecs startOfDay(std::int64_t day);

// The first time `trigger` fires strictly after `now` (local time); nothing when it is disabled or has no
// more runs.
std::optional<TDateTimeSecs> nextTriggerTime(const TaskTrigger& trigger, TDateTimeSecs now);

// Whether a run started at `now` belongs to a day on which `trigger` fires: the day of its most recent start
// time at or before `now`, so that a start delayed past midnight still counts for the day it was meant for.
bool triggerDue(const TaskTrigger& trigger, TDateTimeSecs now);

// "At 09:00 every day, starting 2024-05-01" and its variants (interval, end date, disabled).
std::string describeTrigger(const TaskTrigger& trigger);

// Whether a runner started for a task at `now` starts the application, and if not, why.
enum class RunDecision { Start, TaskDisabled, NoSuchTrigger, NotDue, OnBattery };

// `triggerIndex` names the trigger that started the runner; without one, any enabled trigger due at `now`
// will do.
RunDecision decideRun(const TaskJob& job, std::optional<std::size_t> triggerIndex, TDateTimeSecs now,
                      bool onBattery);

// What besides the stored job and run state a task's record depends on.
struct TaskConditions {
    TDateTimeSecs now = 0;     // local time
    bool running = false;      // a run of the task is in progress
    bool daemonRunning = true; // the cron daemon is running
    bool linesPresent = true;  // the crontab holds every line the task needs
};

// Why the recorded run failed (a non-zero exit status, a signal, or a start that failed), for the record's
// most recent run text; empty for a run that succeeded, was terminated or has not happened.
std::string failedRunText(const RunState& state);

// The record of a task: status, run times and texts, triggers. The most recent run text says why the last
// run failed (failedRunText).
TSchedTask describeTask(const TaskJob& job, const RunState& state, const TaskConditions& conditions);

} // namespace halcyra
