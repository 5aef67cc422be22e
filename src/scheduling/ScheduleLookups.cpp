#include "scheduling/ScheduleLookups.h"

#include "scheduling/MsTaskUtils.h"

namespace halcyra {

bool FindProfileTask(std::string_view ProfileName, TSchedTask& Task, bool& Shared, std::string& ErrorText) {
    IgnoreWords ignore(false);
    ignore.add("-i");
    return FindScheduledTask(ProfileName, ignore, Task, Shared, ErrorText);
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

} // namespace halcyra
