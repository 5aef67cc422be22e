#include "scheduling/MsTask.h"

#include <cstdio>

namespace halcyra {

void TaskStatusText(std::int32_t Code, std::string& Text) {
    struct Entry {
        std::int32_t code;
        const char* text;
    };
    static constexpr Entry Table[] = {
        {SchedCode::TaskReady, "The task is ready to run at its next scheduled time."},
        {SchedCode::TaskRunning, "The task is currently running."},
        {SchedCode::TaskDisabled,
         "The task will not run at the scheduled times because it has been disabled."},
        {SchedCode::TaskHasNotRun, "The task has not yet run."},
        {SchedCode::TaskNoMoreRuns, "There are no more runs scheduled for this task."},
        {SchedCode::TaskNotScheduled,
         "One or more of the properties that are needed to run this task on a schedule have not been set."},
        {SchedCode::TaskTerminated, "The last run of the task was terminated by the user."},
        {SchedCode::TaskNoValidTriggers,
         "Either the task has no triggers or the existing triggers are disabled or not set."},
        {SchedCode::EventTrigger, "Event triggers dont have set run times."},
        {SchedCode::TriggerNotFound, "Trigger not found."},
        {SchedCode::TaskNotReady,
         "One or more of the properties that are needed to run this task have not been set."},
        {SchedCode::TaskNotRunning, "There is no running instance of the task to terminate."},
        {SchedCode::ServiceNotInstalled, "The Task Scheduler Service is not installed on this computer."},
        {SchedCode::CannotOpenTask, "The task object could not be opened."},
        {SchedCode::InvalidTask, "The object is either an invalid task object or is not a task object."},
        {SchedCode::AccountInformationNotSet, "No account information could be found in the Task Scheduler "
                                              "security database for the task indicated."},
        {SchedCode::AccountNameNotFound, "Unable to establish existence of the account specified."},
        {SchedCode::AccountDbaseCorrupt,
         "Corruption was detected in the Task Scheduler security database; the database has been reset."},
        {SchedCode::NoSecurityServices, "Task Scheduler security services are available only on Windows NT."},
        {SchedCode::UnknownObjectVersion, "The task object version is either unsupported or invalid."},
        {SchedCode::UnsupportedAccountOption, "The task has been configured with an unsupported combination "
                                              "of account settings and run time options."},
        {SchedCode::ServiceNotRunning, "The Task Scheduler Service is not running."},
        {SchedCode::OutOfMemory, "Not enough memory is available."},
        {SchedCode::InvalidArg, "The arguments are not valid."},
    };
    for (const Entry& entry : Table) {
        if (entry.code == Code) {
            Text = entry.text;
            return;
        }
    }
}

std::string schedCodeHex(std::int32_t code) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    return buffer;
}

} // namespace halcyra
