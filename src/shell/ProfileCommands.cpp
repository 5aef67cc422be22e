#include "shell/ProfileCommands.h"

#include "base/Paths.h"
#include "base/Product.h"
#include "detection/FileSettings.h"
#include "detection/Log.h"
#include "detection/ProfileRunLock.h"
#include "platform/MessageBoxes.h"
#include "scheduling/MsTaskUtils.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/Settings.h"
#include "shell/GroupMembers.h"
#include "shell/ProfileName.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <utility>

namespace halcyra {

namespace {

constexpr std::uint8_t OrdinaryProfileType = 1;
constexpr std::uint8_t GroupProfileType = 2;

constexpr std::string_view FirstRunQuestion =
    "The first run of a profile will indicate that all the files in the directory have been changed. "
    "Would you like to run this scan now? ";
constexpr std::string_view SharedTaskNote =
    "The profiles scheduled task is shared with other profiles. Please "
    "now edit or delete the schedule task to remove the profile.";
constexpr std::string_view DeleteScheduleFailed = "There was an error trying to delete the schedule.";
constexpr std::string_view DeleteProfileFailed = "Sorry, the profile could not be deleted!";

// Whether `path` names something that is not a folder (a file, or a link to one).
bool fileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// Asks `question` when `path` exists and deletes it on Yes; a failed deletion is not reported.
void offerFileDeletion(UiServices& ui, const std::string& path, std::string_view question) {
    if (fileExists(path) && askYesNo(ui, question))
        ::unlink(path.c_str());
}

std::uint8_t storedProfileType(const TSettings& settings) {
    return static_cast<std::uint8_t>(settings.ReadIntegerDef("ProfileType", 0) & 0xFF);
}

// The name of the task that runs only `name`, or nothing.
std::string ownTaskOf(const std::string& name) {
    TSchedTask task;
    bool shared = false;
    std::string error;
    if (!FindProfileTask(name, task, shared, error) || shared)
        return {};
    return task.Name;
}

enum class ScheduleClearing { Cleared, TaskKept, LookupFailed };

ScheduleClearing clearSchedule(UiServices& ui, const std::string& name, const ScheduleEditor& editSchedule) {
    TSchedTask task;
    bool shared = false;
    std::string error;
    if (!FindProfileTask(name, task, shared, error)) {
        if (error.empty())
            return ScheduleClearing::Cleared;
        showError(ui, error);
        return ScheduleClearing::LookupFailed;
    }
    if (shared) {
        showInformation(ui, SharedTaskNote);
        if (editSchedule)
            editSchedule(name, {});
    } else if (!DeleteTask(task.Name)) {
        showError(ui, DeleteScheduleFailed);
        return ScheduleClearing::TaskKept;
    }
    return ScheduleClearing::Cleared;
}

} // namespace

bool removeProfileSchedule(UiServices& ui, const std::string& name, const ScheduleEditor& editSchedule) {
    return clearSchedule(ui, name, editSchedule) == ScheduleClearing::Cleared;
}

bool storeGroupMembers(UiServices& ui, TSettings& root, TSettings& group, std::vector<std::string> members,
                       const ScheduleEditor& editSchedule) {
    if (members.empty()) {
        const std::string name = groupNameUnder(root, group);
        if (!name.empty() && !removeProfileSchedule(ui, name, editSchedule))
            return false;
    }
    saveGroupMembers(root, group, std::move(members));
    return true;
}

std::string helpFilePath() {
    return programFolder() + "Halcyra.chm";
}

ProfileCommands::ProfileCommands(TSettings& root, UiServices& ui, ProfileEntries entries)
    : m_root(root), m_ui(ui), m_entries(std::move(entries)) {}

std::string ProfileCommands::profileKey(std::string_view name) const {
    std::string key = m_root.Key();
    key += '\\';
    key += name;
    return key;
}

bool ProfileCommands::EditProfile(bool IsNew, std::uint8_t ProfileType, TSettings& Settings) {
    switch (ProfileType) {
    case GroupProfileType:
        return m_entries.editGroupProfile && m_entries.editGroupProfile(m_root, Settings);
    case OrdinaryProfileType:
        return m_entries.editOrdinaryProfile && m_entries.editOrdinaryProfile(IsNew, ProfileType, Settings);
    default:
        return false;
    }
}

bool ProfileCommands::newProfile(std::string* createdName) {
    std::uint8_t type = 0;
    if (!m_entries.chooseProfileType || !m_entries.chooseProfileType(type) || type == 0)
        return false;
    const std::optional<std::string> name = askProfileName(m_ui, m_root, "Profile name", "Name");
    if (!name)
        return false;

    TSettings settings(profileKey(*name));
    const std::string taskBefore = ownTaskOf(*name);
    if (!EditProfile(true, type, settings)) {
        m_root.DeleteSubKey(*name);
        deleteTaskMadeDuring(*name, taskBefore);
        return true;
    }
    // An empty group removes its own key: then there is nothing to run.
    if (!m_root.SubKeyExists(*name))
        return true;
    if (createdName != nullptr)
        *createdName = *name;
    if (askYesNo(m_ui, FirstRunQuestion) && m_entries.runProfile)
        m_entries.runProfile(settings, false);
    return true;
}

void ProfileCommands::deleteTaskMadeDuring(const std::string& name, const std::string& taskBefore) {
    const std::string task = ownTaskOf(name);
    if (task.empty() || task == taskBefore)
        return;
    if (!DeleteTask(task))
        showError(m_ui, DeleteScheduleFailed);
}

bool ProfileCommands::modifyProfile(const std::vector<std::string>& selected) {
    if (selected.empty() || selected.front().empty())
        return false;
    TSettings settings(profileKey(selected.front()));
    return EditProfile(false, storedProfileType(settings), settings);
}

bool ProfileCommands::DeleteProfiles(const std::vector<std::string>& selected) {
    if (selected.empty())
        return false;
    for (const std::string& name : selected) {
        if (name.empty()) // would name the root key itself
            continue;
        if (!askYesNo(m_ui, "Are you sure you want to delete the profile " + name + "?"))
            continue;
        // Not while a run of the profile is in progress.
        ProfileRunLock runLock;
        std::string lockError;
        if (runLock.acquire(name, lockError) != ProfileRunLock::Outcome::Acquired) {
            showError(m_ui, lockError);
            continue;
        }
        switch (clearSchedule(m_ui, name, m_entries.editSchedule)) {
        case ScheduleClearing::Cleared:
            break;
        case ScheduleClearing::TaskKept:
            continue;
        case ScheduleClearing::LookupFailed:
            return true;
        }
        if (!deleteProfileKey(name)) {
            showError(m_ui, DeleteProfileFailed);
            continue;
        }
        deleteProfileFiles(name);
    }
    return true;
}

bool ProfileCommands::deleteProfileKey(const std::string& name) {
    if (m_root.DeleteSubKey(name))
        return true;
    // A key that is already gone counts as deleted; a store that cannot be read does not.
    const SettingNames names = m_root.trySubKeyNames();
    if (names.state == SettingState::Error)
        return false;
    return std::none_of(names.names.begin(), names.names.end(),
                        [&name](const std::string& other) { return sameProfileName(other, name); });
}

void ProfileCommands::deleteProfileFiles(const std::string& name) {
    offerFileDeletion(m_ui, TFileSettings::ResultsFileName(name), "Also delete the profiles results file?");
    offerFileDeletion(m_ui, TFileSettings::ExclusionFileName(name),
                      "Also delete the profiles file exclusion list?");
    offerFileDeletion(m_ui, TFileSettings::ExclusionDirFileName(name),
                      "Also delete the profiles directory exclusion list?");
    const std::optional<std::string> firstPage = TLog::LogFileName(name, 1);
    if (firstPage && fileExists(*firstPage) && askYesNo(m_ui, "Also delete the profiles log files?"))
        TLog::DeleteLogs(name);
}

void ProfileCommands::viewLog(const std::vector<std::string>& selected) {
    for (const std::string& name : selected) {
        const std::optional<std::string> firstPage = TLog::LogFileName(name, 1);
        if (firstPage && fileExists(*firstPage))
            TLog::ViewLog(name, 1, &m_ui);
        else
            showError(m_ui,
                      "There is no log file for the profile \"" + name + "\". Have you run the profile yet?");
    }
}

bool ProfileCommands::schedule(const std::vector<std::string>& selected) {
    if (selected.empty())
        return false;
    if (m_entries.editSchedule)
        m_entries.editSchedule(selected.front(), {});
    return true;
}

void ProfileCommands::help(std::string_view helpFile) {
    const std::string path = helpFile.empty() ? helpFilePath() : std::string(helpFile);
    if (fileExists(path)) {
        openDocumentOrSay(m_ui, path);
        return;
    }
    if (askYesNo(m_ui, "The local help file (" + path +
                           ") does not exist. Would you like to view the help online?"))
        openDocumentOrSay(m_ui, kProductHelpPage);
}

void ProfileCommands::donate() {
    openDocumentOrSay(m_ui, kProductDonatePage);
}

void ProfileCommands::forums() {
    openDocumentOrSay(m_ui, kProductForumsPage);
}

} // namespace halcyra
