#include "scheduling/TaskSchedule.h"

#include "SchedulingTestSupport.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

using test::utc;

// Every scheduling test runs in UTC, so that local times are known.
class UtcTimeZone : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};
const auto* const utcEnvironment = ::testing::AddGlobalTestEnvironment(new UtcTimeZone);

TaskTrigger daily(int year, int month, int day, int hour = 9, int minute = 0, int interval = 1) {
    TaskTrigger trigger;
    trigger.startDay = dayOf(utc(year, month, day));
    trigger.startMinute = hour * 60 + minute;
    trigger.daysInterval = interval;
    return trigger;
}

TEST(TaskSchedule, NextRunAcrossNineOClock) {
    const TaskTrigger trigger = daily(2024, 5, 1);
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 4, 20, 12)), utc(2024, 5, 1, 9));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 5, 1, 8, 59, 59)), utc(2024, 5, 1, 9));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 5, 1, 9)), utc(2024, 5, 2, 9));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 5, 1, 9, 0, 1)), utc(2024, 5, 2, 9));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 12, 31, 23, 59)), utc(2025, 1, 1, 9));
}

TEST(TaskSchedule, NextRunWithATwoDayIntervalAndAnEndDate) {
    TaskTrigger trigger = daily(2024, 2, 27, 9, 0, 2); // 27, 29 (leap day), 2 March, ...
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 2, 27, 10)), utc(2024, 2, 29, 9));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 2, 28, 8)), utc(2024, 2, 29, 9));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 2, 29, 9, 30)), utc(2024, 3, 2, 9));
    trigger.endDay = dayOf(utc(2024, 3, 2));
    EXPECT_EQ(nextTriggerTime(trigger, utc(2024, 3, 1, 0)), utc(2024, 3, 2, 9));
    EXPECT_FALSE(nextTriggerTime(trigger, utc(2024, 3, 2, 9, 1)));
    trigger.endDay.reset();
    trigger.enabled = false;
    EXPECT_FALSE(nextTriggerTime(trigger, utc(2024, 2, 1)));
}

TEST(TaskSchedule, RunIsDueOnTriggerDaysEvenWhenStartedLate) {
    const TaskTrigger trigger = daily(2024, 5, 1, 23, 59, 2);
    EXPECT_TRUE(triggerDue(trigger, utc(2024, 5, 1, 23, 59)));
    // Started after midnight, the run still belongs to the day it was meant for.
    EXPECT_TRUE(triggerDue(trigger, utc(2024, 5, 2, 0, 3)));
    EXPECT_FALSE(triggerDue(trigger, utc(2024, 5, 2, 23, 59)));
    EXPECT_TRUE(triggerDue(trigger, utc(2024, 5, 3, 23, 59)));
    EXPECT_FALSE(triggerDue(trigger, utc(2024, 4, 29, 23, 59)));
}

TEST(TaskSchedule, RunDecisionChecksFlagsTriggerAndBattery) {
    TaskJob job;
    job.triggers = {daily(2024, 5, 1, 9, 0, 2), daily(2024, 5, 2, 9)};
    const std::int64_t firstDay = utc(2024, 5, 1, 9);
    const std::int64_t secondDay = utc(2024, 5, 2, 9);
    EXPECT_EQ(decideRun(job, 0, firstDay, false), RunDecision::Start);
    EXPECT_EQ(decideRun(job, 0, secondDay, false), RunDecision::NotDue);
    EXPECT_EQ(decideRun(job, 1, secondDay, false), RunDecision::Start);
    EXPECT_EQ(decideRun(job, std::nullopt, secondDay, false), RunDecision::Start);
    EXPECT_EQ(decideRun(job, std::nullopt, utc(2024, 4, 30, 9), false), RunDecision::NotDue);
    EXPECT_EQ(decideRun(job, 2, firstDay, false), RunDecision::NoSuchTrigger);
    EXPECT_EQ(decideRun(job, 0, firstDay, true), RunDecision::Start);
    job.flags = TaskFlagDontStartIfOnBatteries;
    EXPECT_EQ(decideRun(job, 0, firstDay, true), RunDecision::OnBattery);
    EXPECT_EQ(decideRun(job, 0, firstDay, false), RunDecision::Start);
    job.flags |= TaskFlagDisabled;
    EXPECT_EQ(decideRun(job, 0, firstDay, false), RunDecision::TaskDisabled);
}

TEST(TaskSchedule, TriggerDescriptions) {
    TaskTrigger trigger = daily(2024, 5, 1);
    EXPECT_EQ(describeTrigger(trigger), "At 09:00 every day, starting 2024-05-01");
    trigger = daily(2024, 5, 1, 18, 5, 3);
    trigger.endDay = dayOf(utc(2024, 12, 31));
    trigger.enabled = false;
    EXPECT_EQ(describeTrigger(trigger),
              "At 18:05 every 3 days, starting 2024-05-01, ending 2024-12-31 (disabled)");
}

TEST(TaskSchedule, RecordOfANewTask) {
    TaskJob job;
    job.name = "Halcyra Daily";
    job.parameters = "\"Daily\"";
    job.triggers = {daily(2024, 5, 1)};
    TaskConditions conditions;
    conditions.now = utc(2024, 5, 1, 8, 30);
    const TSchedTask task = describeTask(job, RunState{}, conditions);
    EXPECT_EQ(task.Status, SchedCode::TaskHasNotRun);
    EXPECT_EQ(task.StatusText, "The task has not yet run.");
    EXPECT_EQ(task.NextRunTime, utc(2024, 5, 1, 9));
    EXPECT_EQ(task.NextRunText, "");
    EXPECT_EQ(task.LastRunTime, UnknownRunTime);
    EXPECT_EQ(task.LastRunText, "The task has not yet run.");
    EXPECT_EQ(task.TriggerCount, 1);
    EXPECT_EQ(task.TriggerText, "At 09:00 every day, starting 2024-05-01");
    EXPECT_GT(utc(1900, 1, 1), UnknownRunTime);
}

TEST(TaskSchedule, StatusFollowsRunStateTriggersAndDaemon) {
    TaskJob job;
    job.triggers = {daily(2024, 5, 1), daily(2024, 5, 1, 18)};
    RunState ran;
    ran.lastStart = utc(2024, 5, 1, 9);
    ran.outcome = RunState::Outcome::Exited;
    TaskConditions conditions;
    conditions.now = utc(2024, 5, 1, 12);

    TSchedTask task = describeTask(job, ran, conditions);
    EXPECT_EQ(task.Status, SchedCode::TaskReady);
    EXPECT_EQ(task.LastRunTime, utc(2024, 5, 1, 9));
    EXPECT_EQ(task.LastRunText, "");
    EXPECT_EQ(task.NextRunTime, utc(2024, 5, 1, 18));
    EXPECT_EQ(task.TriggerCount, 2);
    EXPECT_EQ(task.TriggerText, "Multiple schedule times");

    ran.outcome = RunState::Outcome::Terminated;
    EXPECT_EQ(describeTask(job, ran, conditions).StatusText,
              "The last run of the task was terminated by the user.");
    conditions.daemonRunning = false;
    EXPECT_EQ(describeTask(job, ran, conditions).StatusText, "The Task Scheduler Service is not running.");
    conditions.running = true;
    EXPECT_EQ(describeTask(job, ran, conditions).Status, SchedCode::TaskRunning);
    conditions = TaskConditions{utc(2024, 5, 1, 12), false, true};

    job.flags = TaskFlagDisabled;
    task = describeTask(job, ran, conditions);
    EXPECT_EQ(task.Status, SchedCode::TaskDisabled);
    EXPECT_EQ(task.NextRunTime, UnknownRunTime);
    EXPECT_EQ(task.NextRunText, task.StatusText);

    job.flags = 0;
    for (TaskTrigger& trigger : job.triggers)
        trigger.endDay = dayOf(utc(2024, 5, 1));
    conditions.now = utc(2024, 5, 2, 12);
    task = describeTask(job, ran, conditions);
    EXPECT_EQ(task.Status, SchedCode::TaskNoMoreRuns);
    EXPECT_EQ(task.NextRunText, "There are no more runs scheduled for this task.");

    job.triggers.clear();
    task = describeTask(job, ran, conditions);
    EXPECT_EQ(task.TriggerCount, 0);
    EXPECT_EQ(task.TriggerText, "");
    EXPECT_EQ(task.NextRunTime, UnknownRunTime);
    EXPECT_EQ(task.NextRunText,
              "Either the task has no triggers or the existing triggers are disabled or not set.");
    EXPECT_EQ(
        task.StatusText,
        "One or more of the properties that are needed to run this task on a schedule have not been set.");
}

TEST(TaskSchedule, MissingCrontabLineAndFailedRunsAreReported) {
    TaskJob job;
    job.triggers = {daily(2024, 5, 1)};
    RunState ran;
    ran.lastStart = utc(2024, 5, 1, 9);
    ran.outcome = RunState::Outcome::Exited;
    ran.exitCode = 1;
    TaskConditions conditions;
    conditions.now = utc(2024, 5, 1, 12);
    conditions.linesPresent = false;

    TSchedTask task = describeTask(job, ran, conditions);
    EXPECT_EQ(
        task.StatusText,
        "One or more of the properties that are needed to run this task on a schedule have not been set.");
    EXPECT_EQ(task.NextRunTime, UnknownRunTime);
    EXPECT_EQ(task.NextRunText,
              "Either the task has no triggers or the existing triggers are disabled or not set.");
    EXPECT_EQ(task.LastRunTime, utc(2024, 5, 1, 9));
    EXPECT_EQ(task.LastRunText, "The last run failed with exit status 1.");
    ran.outcome = RunState::Outcome::Signalled;
    ran.exitCode = 9;
    EXPECT_EQ(failedRunText(ran), "The last run failed: it was ended by signal 9.");
}

} // namespace
} // namespace halcyra
