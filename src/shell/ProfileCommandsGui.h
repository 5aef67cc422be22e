#pragma once

#include "shell/ProfileCommands.h"

namespace halcyra {

class TSettings;

// The schedule window (TfrmSchedule's entry; nothing when none is installed).
ScheduleEditor desktopScheduleEditor();

// The desktop's windows behind the profile commands: the profile-type choice, the set-up dialog, the group
// editor, the schedule window and the run window.
ProfileEntries desktopProfileEntries();

// The profile commands on `root` with the installed UI services (standard error and default answers when
// none are installed) and the desktop's windows.
ProfileCommands desktopProfileCommands(TSettings& root);

} // namespace halcyra
