#pragma once

#include "scheduling/MsTask.h"
#include "scheduling/Scheduler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace halcyra {

// The program's access to scheduled tasks. Every routine reports failure by its result (and an error text
// where it has one) and never throws. The scheduler object is made by the first successful InitScheduler and
// kept until ReleaseScheduler or the end of the program. One thread uses these routines.

// `text` (UTF-8) as UTF-16, with no length limit; each byte of an invalid sequence becomes U+FFFD.
std::u16string StrToWide(std::string_view text);

// Makes the scheduler object when there is none. 0 when it is ready; ServiceNotInstalled with the error text
// "Error in ActiveX.CoCreateInstance.Error Code :8004130C" when the crontab program is missing.
std::int32_t InitScheduler(std::string& errorText);

// The object InitScheduler made, or null.
TaskScheduler* currentScheduler();

// Releases the scheduler object; the next InitScheduler makes a new one from `setup` (nothing: the running
// program's defaultSchedulerSetup). Lets tests choose the store, the crontab and the clock.
void setSchedulerSetup(std::optional<SchedulerSetup> setup);
void ReleaseScheduler();

// The named task (initialising the scheduler first), or null when it cannot be opened.
std::unique_ptr<ScheduledTask> GetTask(std::string_view taskName);

// Saves an opened task: 0 on success, else the failure's code (with `errorText` when asked for).
std::int32_t SaveTask(ScheduledTask& task);
std::int32_t SaveTask(ScheduledTask& task, std::string& errorText);

// Creates and saves a task that starts `applicationName` with `parameters` in `workingDirectory` every day
// at 09:00 from today, with no end date, a maximum run time of 23 hours, the flag "do not start on
// batteries" and the comment "Task created by " + the application's file name. True when the task was
// created; otherwise nothing of it remains (an existing name, a name or parameters with NUL, CR or LF, or a
// crontab that cannot be rewritten all fail). `needAccount` is always false: cron needs no account.
bool CreateTask(std::string_view taskName, std::string_view applicationName, std::string_view parameters,
                std::string_view workingDirectory, bool& needAccount);
// As above; `errorText` says why the task was not created.
bool CreateTask(std::string_view taskName, std::string_view applicationName, std::string_view parameters,
                std::string_view workingDirectory, bool& needAccount, std::string& errorText);

// Puts back the crontab lines of enabled tasks that are missing from the crontab (the desktop program does
// so when it starts). True when every enabled task has its lines, or none needs one; false with `errorText`
// when they could not be written.
bool RestoreScheduledTasks(std::string& errorText);

// Shows a task's property dialog (the editor installed by the desktop program). True when it was shown and
// closed without error; false when the task cannot be opened or no editor is installed.
bool EditTask(QWidget* parent, std::string_view taskName);

// Edits an opened task in a property dialog; saving on OK is the editor's own work (SaveTask, which refuses
// names and parameters with NUL, CR or LF). True when the dialog was shown and closed without error.
using TaskEditor = std::function<bool(QWidget* parent, ScheduledTask& task)>;
void setTaskEditor(TaskEditor editor);

// Deletes the named task with its crontab lines; true when it is gone.
bool DeleteTask(std::string_view taskName);

// The task names in enumeration order, each owning its record.
struct TaskListEntry {
    std::string Name;
    std::unique_ptr<TSchedTask> Task;
};
using TTaskList = std::vector<TaskListEntry>;

// Fills `list` with the tasks whose application's file name equals `applicationFileName` without regard to
// ASCII case (every task when it is empty). True when the whole store was read. False with an error text when
// there is no list ("" then), when InitScheduler fails (its text), or when the store could not be read to the
// end ("SchedulingAgent.Enum Result:" + the code); then the list holds the tasks read before the failure.
bool EnumTasks(TTaskList* list, std::string_view applicationFileName, std::string& errorText);

// Releases the list and every record in it; nothing when there is no list.
void FreeTaskList(std::unique_ptr<TTaskList>& list);

// A sorted list of words that the profile search passes over, compared with or without regard to ASCII case.
class IgnoreWords {
public:
    explicit IgnoreWords(bool caseSensitive = false) : m_caseSensitive(caseSensitive) {}
    void add(std::string_view word);
    bool contains(std::string_view word) const;

private:
    bool less(std::string_view a, std::string_view b) const;
    bool m_caseSensitive;
    std::vector<std::string> m_words; // kept sorted
};

// The words of a task's parameter text: characters with codes 1 to 32 separate words; a word that begins
// with a double quote runs to the next double quote that is not doubled (a doubled one stands for one) and
// loses its quotes; any other word runs to the next character with a code of 32 or less. A NUL ends the text.
std::vector<std::string> splitTaskParameters(std::string_view parameters);

// Whether a task of this program (its application's file name equals the running program's) names
// `profileName` (ASCII case ignored) among its parameter words that `ignoreList` does not hold. When found,
// `task` receives the first such task's record and `shared` tells whether it names any other word that is not
// ignored. `errorText` is EnumTasks's when the tasks could not be listed (found is then false).
bool FindScheduledTask(std::string_view profileName, const IgnoreWords& ignoreList, TSchedTask& task,
                       bool& shared, std::string& errorText);

// Fills `list` with the tasks of this program, those FindScheduledTask searches. False, with `list` empty
// and `errorText` set where there is one, when they could not all be listed.
bool ListProgramTasks(TTaskList& list, std::string& errorText);

// FindScheduledTask against `tasks` listed beforehand with ListProgramTasks.
bool FindScheduledTaskIn(const TTaskList& tasks, std::string_view profileName, const IgnoreWords& ignoreList,
                         TSchedTask& task, bool& shared);

} // namespace halcyra
