#include "scheduling/ScheduleFlow.h"

#include "base/DisplayDateTime.h"
#include "base/Paths.h"
#include "platform/MessageBoxes.h"
#include "scheduling/MsTaskUtils.h"
#include "scheduling/ScheduleLookups.h"

namespace halcyra {

namespace {

std::string runTimeText(TDateTimeSecs time) {
    return time > UnknownRunTime ? formatDisplayDateTime(time) : std::string("Unknown");
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

} // namespace

std::string profileTaskName(std::string_view programPath, std::string_view profileName) {
    std::string_view program = namePart(programPath);
    if (const std::size_t dot = program.rfind('.'); dot != std::string_view::npos && dot > 0)
        program = program.substr(0, dot);
    std::string name(program);
    name += ' ';
    name += profileName;
    return name;
}

std::string profileTaskParameters(std::string_view extraParams, std::string_view profileName) {
    std::string parameters(extraParams);
    parameters += " \"";
    for (char c : profileName) {
        if (c == '"')
            parameters += '"';
        parameters += c;
    }
    parameters += '"';
    return std::string(trimBlanks(parameters));
}

std::string programWorkingFolder(std::string_view programPath) {
    std::string folder(folderPart(programPath));
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

ScheduleInfoTexts scheduleInfoTexts(const TSchedTask& task, bool shared) {
    ScheduleInfoTexts texts;
    texts.status = task.StatusText;
    texts.nextRunDate = runTimeText(task.NextRunTime);
    texts.nextRun = task.NextRunText;
    texts.recentRunDate = runTimeText(task.LastRunTime);
    texts.recentRun = task.LastRunText;
    texts.schedule = task.TriggerText;
    texts.shared = shared ? "Yes" : "No";
    return texts;
}

ScheduleSession::ScheduleSession(std::string profileName, std::optional<TSchedTask> task, bool shared)
    : m_profileName(std::move(profileName)), m_task(std::move(task)), m_shared(shared) {}

bool ScheduleSession::deleteSchedule(UiServices& ui) {
    if (!m_task)
        return false;
    const std::string question =
        m_shared ? "Other profiles are set to run in this same scheduled task. Are you sure you want to "
                   "delete the shared schedule for " +
                       m_profileName + "?"
                 : "Are you sure you want to delete the schedule for " + m_profileName + "?";
    // No is the default: a stray Enter after Escape must not delete a schedule.
    if (ui.messageBox(MessageKind::Question, "Confirmation", question, ButtonYes | ButtonNo, ButtonNo) !=
        ButtonYes)
        return false;
    if (!DeleteTask(m_task->Name)) {
        showError(ui, "There was an error trying to delete the schedule.");
        return false;
    }
    showInformation(ui, "Schedule deleted!");
    return true;
}

bool ScheduleSession::editSchedule(UiServices& ui,
                                   const std::function<bool(const std::string& taskName)>& editTask) {
    if (!m_task)
        return false;
    if (!editTask(m_task->Name)) {
        showError(ui, "There was an error trying to edit the schedule.");
        return false;
    }
    bool shared = false;
    std::string error;
    if (FindProfileTask(m_profileName, *m_task, shared, error)) {
        m_shared = shared;
        return true;
    }
    if (!error.empty()) {
        showError(ui, error);
        return false;
    }
    m_shared = false;
    return true;
}

void editProfileSchedule(UiServices& ui, std::string_view profileName, std::string_view extraParams,
                         const ShowScheduleWindow& showWindow) {
    const std::string profile(profileName);
    TSchedTask task;
    bool shared = false;
    std::string error;
    if (FindProfileTask(profile, task, shared, error)) {
        showWindow(profile, &task, shared, false, false);
        return;
    }
    if (!error.empty()) {
        showError(ui, error);
        return;
    }
    if (!askYesNo(ui,
                  "There is no schedule for the profile \"" + profile + "\". Would you like to create one?"))
        return;
    if (InitScheduler(error) != SchedCode::Ok || currentScheduler() == nullptr) {
        showError(ui, "A scheduled task could not be created!");
        return;
    }
    const std::string program = currentScheduler()->setup().programPath;
    bool needAccount = false;
    if (!CreateTask(profileTaskName(program, profile), program, profileTaskParameters(extraParams, profile),
                    programWorkingFolder(program), needAccount, error)) {
        // The reason follows the box's own text when there is one (a crontab line too long, say).
        showError(ui, error.empty() ? std::string("A scheduled task could not be created!")
                                    : "A scheduled task could not be created!\n\n" + error);
        return;
    }
    task = TSchedTask{};
    if (FindProfileTask(profile, task, shared, error))
        showWindow(profile, &task, shared, true, needAccount);
    else if (!error.empty())
        showError(ui, error);
}

} // namespace halcyra
