#pragma once

#include "platform/UiServices.h"
#include "scheduling/MsTask.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// The name of the task that runs a profile: the program's file name without its extension, one blank and
// the profile name ("/opt/halcyra/bin/Halcyra" and "Daily" give "Halcyra Daily").
std::string profileTaskName(std::string_view programPath, std::string_view profileName);

// The parameters of the task that runs a profile: `extraParams`, a blank and the profile name in double
// quotes (a quote inside the name doubled, so the runner reads the name back whole), trimmed of blanks at
// both ends.
std::string profileTaskParameters(std::string_view extraParams, std::string_view profileName);

// The folder that holds the program, without a trailing '/' ("/" stays "/").
std::string programWorkingFolder(std::string_view programPath);

// The texts the schedule window shows for a task.
struct ScheduleInfoTexts {
    std::string status;
    std::string nextRunDate;
    std::string nextRun;
    std::string recentRunDate;
    std::string recentRun;
    std::string schedule;
    std::string shared;
};

// Run times are shown as the user's date-time text, "Unknown" when the scheduler reported none.
ScheduleInfoTexts scheduleInfoTexts(const TSchedTask& task, bool shared);

// What the schedule window shows: the task found for one profile (if any) and whether it is shared. The
// window's actions are carried out here, through the UI services; the window only displays the result.
class ScheduleSession {
public:
    ScheduleSession(std::string profileName, std::optional<TSchedTask> task, bool shared);

    const std::string& profileName() const { return m_profileName; }
    const std::optional<TSchedTask>& task() const { return m_task; }
    bool shared() const { return m_shared; }

    // Asks whether to delete the schedule (No is the default answer) and deletes it on Yes. True when the
    // task was deleted and the window should close; false when there is no task, the answer was No or the
    // deletion failed (said in an error box).
    bool deleteSchedule(UiServices& ui);

    // Opens the task's property pages through `editTask` (given the task name). When the pages closed
    // without error, looks the profile's task up again. True when the display should be refreshed (the
    // look-up found the task, or found none without an error, in which case the old record stays and the
    // task counts as not shared).
    bool editSchedule(UiServices& ui, const std::function<bool(const std::string& taskName)>& editTask);

private:
    std::string m_profileName;
    std::optional<TSchedTask> m_task;
    bool m_shared = false;
};

// Shows the schedule window: the profile, its task (none when there is none), the shared flag, whether the
// task was created just now and whether the user must still enter the account password.
using ShowScheduleWindow = std::function<void(const std::string& profileName, const TSchedTask* task,
                                              bool shared, bool justCreated, bool needPassword)>;

// Looks the profile's task up and shows it; when there is none, offers to create a daily task that runs
// the program with `extraParams` and the profile, then shows the new task. Failures of the scheduler are
// shown in error boxes.
void editProfileSchedule(UiServices& ui, std::string_view profileName, std::string_view extraParams,
                         const ShowScheduleWindow& showWindow);

} // namespace halcyra
