#include "scheduling/ScheduleLookups.h"

#include "scheduling/MsTaskUtils.h"

namespace halcyra {

namespace {

// The words of a task's parameters that never name a profile.
const IgnoreWords& profileIgnoreWords() {
    static const IgnoreWords words = [] {
        IgnoreWords ignore(false);
        ignore.add("-i");
        return ignore;
    }();
    return words;
}

} // namespace

bool FindProfileTask(std::string_view ProfileName, TSchedTask& Task, bool& Shared, std::string& ErrorText) {
    return FindScheduledTask(ProfileName, profileIgnoreWords(), Task, Shared, ErrorText);
}

bool IsProfileScheduled(std::string_view ProfileName, bool& Shared) {
    TSchedTask task;
    std::string ignored;
    return FindProfileTask(ProfileName, task, Shared, ignored);
}

bool GetProfileScheduleText(std::string_view ProfileName, bool& Shared, std::string& Text) {
    TSchedTask task;
    std::string ignored;
    const bool found = FindProfileTask(ProfileName, task, Shared, ignored);
    Text = found ? task.StatusText : std::string();
    return found;
}

TTaskList ListProfileTasks() {
    TTaskList tasks;
    std::string ignored;
    ListProgramTasks(tasks, ignored);
    return tasks;
}

bool IsProfileScheduled(const TTaskList& Tasks, std::string_view ProfileName, bool& Shared) {
    TSchedTask task;
    return FindScheduledTaskIn(Tasks, ProfileName, profileIgnoreWords(), task, Shared);
}

} // namespace halcyra
