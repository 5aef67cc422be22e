#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TSettings;
class UiServices;

// Shows the schedule window of a profile.
using ScheduleEditor = std::function<void(std::string_view profileName, std::string_view extraParams)>;

// The windows the profile commands open. An empty entry counts as a dialog the user cancelled (and, for the
// schedule window and the run, as nothing to show).
struct ProfileEntries {
    // Asks which kind of profile to create; `type` comes preset and receives the choice (0 none, 1 ordinary,
    // 2 group). False when cancelled.
    std::function<bool(std::uint8_t& type)> chooseProfileType;
    // Edits an ordinary profile on `settings`' key; true when confirmed (the dialog has written the profile).
    std::function<bool(bool isNew, std::uint8_t type, TSettings& settings)> editOrdinaryProfile;
    // Edits the group on `group`'s key (a sub-key of `root`); true when confirmed.
    std::function<bool(TSettings& root, TSettings& group)> editGroupProfile;
    ScheduleEditor editSchedule;
    // Runs a profile in its run window.
    std::function<void(TSettings& settings, bool unattended)> runProfile;
};

// Makes way for deleting the profile `name`, so that no task is left running a missing profile: a task that
// runs only `name` is deleted; for a task shared with other profiles the shared-task note is shown and the
// schedule window opens on `name` for the user to edit it. False, after an error box with the reason, when
// the tasks cannot be looked up or the task cannot be deleted: the profile must then stay.
bool removeProfileSchedule(UiServices& ui, const std::string& name, const ScheduleEditor& editSchedule);

// Stores the members the group editor holds on OK (saveGroupMembers). A group left without members is deleted
// together with its schedule (removeProfileSchedule); when that schedule cannot be removed nothing is written
// and false is returned, so the editor stays open.
bool storeGroupMembers(UiServices& ui, TSettings& root, TSettings& group, std::vector<std::string> members,
                       const ScheduleEditor& editSchedule);

// The full path of the local help file: "Halcyra.chm" in the program's folder.
std::string helpFilePath();

// The main window's everyday profile commands. `root` is the settings object on the program's root key;
// profiles are its sub-keys. Selected names come in list order, from the top down. Every command that can
// change profiles returns whether the profile list must be reloaded. Nothing here throws to its caller
// except std::bad_alloc.
class ProfileCommands {
public:
    ProfileCommands(TSettings& root, UiServices& ui, ProfileEntries entries);

    // Opens the editor of the profile kind: 1 the set-up dialog, 2 the group editor; any other kind opens
    // nothing. True when the editor was confirmed.
    bool EditProfile(bool IsNew, std::uint8_t ProfileType, TSettings& Settings);

    // Creates a profile: kind, name, editor. A cancelled editor removes the new key and a scheduled task that
    // was made for the new name from inside the editor and runs nothing else. A confirmed one that left a
    // profile offers its first run and gives the profile's name in `createdName` (when not null).
    bool newProfile(std::string* createdName = nullptr);

    // Edits the first selected profile in the editor of its kind.
    bool modifyProfile(const std::vector<std::string>& selected);

    // Deletes each selected profile after asking: its scheduled task (removeProfileSchedule), its key, and,
    // each after its own question, its results file, exclusion lists and log pages. A profile whose task or
    // key cannot be deleted is kept with its files (the failure is reported) and the next one follows; when
    // the tasks cannot be looked up the command stops there with the look-up's error.
    bool DeleteProfiles(const std::vector<std::string>& selected);

    // Opens page 1 of each selected profile's log, or says that it has none.
    void viewLog(const std::vector<std::string>& selected);

    // Shows the schedule window of the first selected profile.
    bool schedule(const std::vector<std::string>& selected);

    // Opens `helpFile` with the desktop's handler when it exists; otherwise offers the online help.
    void help(std::string_view helpFile = {});
    void donate();
    void forums();

private:
    std::string profileKey(std::string_view name) const;
    bool deleteProfileKey(const std::string& name);
    void deleteProfileFiles(const std::string& name);
    void deleteTaskMadeDuring(const std::string& name, const std::string& taskBefore);

    TSettings& m_root;
    UiServices& m_ui;
    ProfileEntries m_entries;
};

} // namespace halcyra
