#include "scheduling/TaskSchedule.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace halcyra {

namespace {

constexpr std::int64_t SecondsPerDay = 86400;

std::string isoDate(std::int64_t day) {
    const CivilDateTime civil = toCivil(startOfDay(day));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", civil.year, civil.month, civil.day);
    return buffer;
}

std::int64_t floorMod(std::int64_t a, std::int64_t b) {
    const std::int64_t r = a % b;
    return r < 0 ? r + b : r;
}

bool firesOnDay(const TaskTrigger& trigger, std::int64_t day) {
    return trigger.enabled && trigger.daysInterval >= 1 && day >= trigger.startDay &&
           floorMod(day - trigger.startDay, trigger.daysInterval) == 0 &&
           (!trigger.endDay || day <= *trigger.endDay);
}

} // namespace

std::string failedRunText(const RunState& state) {
    switch (state.outcome) {
    case RunState::Outcome::Exited:
        return state.exitCode == 0
                   ? std::string()
                   : "The last run failed with exit status " + std::to_string(state.exitCode) + ".";
    case RunState::Outcome::Signalled:
        return "The last run failed: it was ended by signal " + std::to_string(state.exitCode) + ".";
    case RunState::Outcome::NotStarted:
        return "The last run failed: " + state.message;
    case RunState::Outcome::Terminated: // the status says so
    case RunState::Outcome::None:
        break;
    }
    return {};
}

std::int64_t dayOf(TDateTimeSecs localTime) {
    return civilDayOf(localTime);
}

TDateTimeSecs startOfDay(std::int64_t day) {
    return day * SecondsPerDay;
}

std::optional<TDateTimeSecs> nextTriggerTime(const TaskTrigger& trigger, TDateTimeSecs now) {
    if (!trigger.enabled || trigger.daysInterval < 1)
        return std::nullopt;
    const std::int64_t interval = trigger.daysInterval;
    std::int64_t day = std::max(trigger.startDay, dayOf(now));
    // Round up to the next day of the interval counted from the start.
    const std::int64_t offset = floorMod(day - trigger.startDay, interval);
    if (offset != 0)
        day += interval - offset;
    if (startOfDay(day) + trigger.startMinute * 60 <= now)
        day += interval;
    if (trigger.endDay && day > *trigger.endDay)
        return std::nullopt;
    return startOfDay(day) + trigger.startMinute * 60;
}

bool triggerDue(const TaskTrigger& trigger, TDateTimeSecs now) {
    return firesOnDay(trigger, dayOf(now - trigger.startMinute * 60));
}

std::string describeTrigger(const TaskTrigger& trigger) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d", trigger.startMinute / 60, trigger.startMinute % 60);
    std::string text = std::string("At ") + time + " every ";
    text += trigger.daysInterval == 1 ? std::string("day") : std::to_string(trigger.daysInterval) + " days";
    text += ", starting " + isoDate(trigger.startDay);
    if (trigger.endDay)
        text += ", ending " + isoDate(*trigger.endDay);
    if (!trigger.enabled)
        text += " (disabled)";
    return text;
}

RunDecision decideRun(const TaskJob& job, std::optional<std::size_t> triggerIndex, TDateTimeSecs now,
                      bool onBattery) {
    if ((job.flags & TaskFlagDisabled) != 0)
        return RunDecision::TaskDisabled;
    if (triggerIndex) {
        if (*triggerIndex >= job.triggers.size())
            return RunDecision::NoSuchTrigger;
        if (!triggerDue(job.triggers[*triggerIndex], now))
            return RunDecision::NotDue;
    } else if (std::none_of(job.triggers.begin(), job.triggers.end(),
                            [now](const TaskTrigger& trigger) { return triggerDue(trigger, now); })) {
        return RunDecision::NotDue;
    }
    if ((job.flags & TaskFlagDontStartIfOnBatteries) != 0 && onBattery)
        return RunDecision::OnBattery;
    return RunDecision::Start;
}

TSchedTask describeTask(const TaskJob& job, const RunState& state, const TaskConditions& conditions) {
    TSchedTask task;
    task.Name = job.name;
    task.ApplicationName = job.application;
    task.Parameters = job.parameters;
    task.WorkingDirectory = job.workingDirectory;

    const bool disabled = (job.flags & TaskFlagDisabled) != 0;
    const bool anyEnabled = std::any_of(job.triggers.begin(), job.triggers.end(),
                                        [](const TaskTrigger& trigger) { return trigger.enabled; });
    std::int32_t nextCode = SchedCode::Ok;
    if (disabled) {
        nextCode = SchedCode::TaskDisabled;
    } else if (!anyEnabled) {
        nextCode = SchedCode::TaskNoValidTriggers;
    } else {
        std::optional<TDateTimeSecs> next;
        for (const TaskTrigger& trigger : job.triggers) {
            const auto time = nextTriggerTime(trigger, conditions.now);
            if (time && (!next || *time < *next))
                next = time;
        }
        if (!next)
            nextCode = SchedCode::TaskNoMoreRuns;
        else if (!conditions.linesPresent)
            nextCode = SchedCode::TaskNoValidTriggers; // cron will not start it
        else
            task.NextRunTime = *next;
    }
    if (nextCode != SchedCode::Ok)
        TaskStatusText(nextCode, task.NextRunText);

    if (state.lastStart) {
        task.LastRunTime = localDateTime(*state.lastStart);
        task.LastRunText = failedRunText(state);
    } else {
        TaskStatusText(SchedCode::TaskHasNotRun, task.LastRunText);
    }

    if (conditions.running)
        task.Status = SchedCode::TaskRunning;
    else if (disabled)
        task.Status = SchedCode::TaskDisabled;
    else if (!conditions.daemonRunning)
        task.Status = SchedCode::ServiceNotRunning;
    else if (!anyEnabled)
        task.Status = SchedCode::TaskNotScheduled;
    else if (nextCode == SchedCode::TaskNoMoreRuns)
        task.Status = SchedCode::TaskNoMoreRuns;
    else if (!conditions.linesPresent)
        task.Status = SchedCode::TaskNotScheduled;
    else if (state.outcome == RunState::Outcome::Terminated)
        task.Status = SchedCode::TaskTerminated;
    else if (!state.lastStart)
        task.Status = SchedCode::TaskHasNotRun;
    else
        task.Status = SchedCode::TaskReady;
    TaskStatusText(task.Status, task.StatusText);

    task.TriggerCount = static_cast<std::uint16_t>(
        std::min<std::size_t>(job.triggers.size(), std::numeric_limits<std::uint16_t>::max()));
    if (task.TriggerCount >= 2)
        task.TriggerText = "Multiple schedule times";
    else if (task.TriggerCount == 1)
        task.TriggerText = describeTrigger(job.triggers[0]);
    return task;
}

} // namespace halcyra
