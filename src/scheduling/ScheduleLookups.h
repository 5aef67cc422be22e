#pragma once

#include "scheduling/MsTask.h"
#include "scheduling/MsTaskUtils.h"

#include <string>
#include <string_view>

namespace halcyra {

// Whether a scheduled task of this program runs a profile. The switch "-i" in a task's parameters is never
// taken for a profile name. A scheduler that cannot be reached makes every look-up answer false.

// True when a task of this program names `ProfileName`; `Task` then holds its record and `Shared` tells
// whether it names other profiles too. `ErrorText` is the scheduler's when the tasks could not be listed.
bool FindProfileTask(std::string_view ProfileName, TSchedTask& Task, bool& Shared, std::string& ErrorText);

// FindProfileTask without the record and the error text.
bool IsProfileScheduled(std::string_view ProfileName, bool& Shared);

// As IsProfileScheduled; `Text` is the found task's status text, empty when none is found.
bool GetProfileScheduleText(std::string_view ProfileName, bool& Shared, std::string& Text);

// This program's tasks, listed once so that many profiles can be looked up against one listing (the profile
// list does so on each load). Empty when they cannot be listed.
TTaskList ListProfileTasks();

// IsProfileScheduled against `Tasks` listed beforehand with ListProfileTasks.
bool IsProfileScheduled(const TTaskList& Tasks, std::string_view ProfileName, bool& Shared);

} // namespace halcyra
