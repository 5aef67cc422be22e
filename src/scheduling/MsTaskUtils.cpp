#include "scheduling/MsTaskUtils.h"

#include "base/AsciiCase.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "base/Wildcard.h"
#include "scheduling/TaskSchedule.h"

#include <algorithm>

namespace halcyra {

namespace {

struct ProgramState {
    std::unique_ptr<TaskScheduler> scheduler;
    std::optional<SchedulerSetup> setup;
    TaskEditor editor;
};

ProgramState& state() {
    static ProgramState instance;
    return instance;
}

} // namespace

std::u16string StrToWide(std::string_view text) {
    std::u16string wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        valid = valid && code >= minimum && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            wide += char16_t(0xFFFD);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (code >> 10));
            wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            wide += static_cast<char16_t>(code);
        }
        i += length;
    }
    return wide;
}

std::int32_t InitScheduler(std::string& errorText) {
    errorText.clear();
    ProgramState& program = state();
    if (program.scheduler)
        return SchedCode::Ok;
    SchedulerSetup setup = program.setup ? *program.setup : defaultSchedulerSetup();
    if (!setup.crontab || !setup.crontab->available()) {
        errorText =
            "Error in ActiveX.CoCreateInstance.Error Code :" + schedCodeHex(SchedCode::ServiceNotInstalled);
        return SchedCode::ServiceNotInstalled;
    }
    program.scheduler = std::make_unique<TaskScheduler>(std::move(setup));
    return SchedCode::Ok;
}

TaskScheduler* currentScheduler() {
    return state().scheduler.get();
}

void setSchedulerSetup(std::optional<SchedulerSetup> setup) {
    state().scheduler.reset();
    state().setup = std::move(setup);
}

void ReleaseScheduler() {
    state().scheduler.reset();
}

std::unique_ptr<ScheduledTask> GetTask(std::string_view taskName) {
    std::string error;
    if (InitScheduler(error) != SchedCode::Ok)
        return nullptr;
    std::int32_t code = SchedCode::Ok;
    auto task = currentScheduler()->open(taskName, code, error);
    if (!task)
        return nullptr;
    return std::make_unique<ScheduledTask>(std::move(*task));
}

std::int32_t SaveTask(ScheduledTask& task, std::string& errorText) {
    errorText.clear();
    const std::int32_t code = InitScheduler(errorText);
    if (code != SchedCode::Ok)
        return code;
    return currentScheduler()->save(task, errorText);
}

std::int32_t SaveTask(ScheduledTask& task) {
    std::string ignored;
    return SaveTask(task, ignored);
}

bool CreateTask(std::string_view taskName, std::string_view applicationName, std::string_view parameters,
                std::string_view workingDirectory, bool& needAccount) {
    std::string ignored;
    return CreateTask(taskName, applicationName, parameters, workingDirectory, needAccount, ignored);
}

bool CreateTask(std::string_view taskName, std::string_view applicationName, std::string_view parameters,
                std::string_view workingDirectory, bool& needAccount, std::string& error) {
    needAccount = false;
    if (InitScheduler(error) != SchedCode::Ok)
        return false;
    TaskScheduler& scheduler = *currentScheduler();
    ScheduledTask task = scheduler.newTask(taskName);
    task.job.application = applicationName;
    task.job.parameters = parameters;
    task.job.workingDirectory = workingDirectory;
    task.job.comment = "Task created by " + std::string(namePart(applicationName));
    TaskTrigger daily;
    daily.startDay = dayOf(localDateTime(scheduler.setup().clock->now()));
    daily.startMinute = 9 * 60;
    daily.daysInterval = 1;
    task.job.triggers.push_back(daily);
    task.job.maxRunTimeMs = 82800000;
    task.job.flags = TaskFlagDontStartIfOnBatteries;
    return scheduler.save(task, error) == SchedCode::Ok;
}

bool RestoreScheduledTasks(std::string& errorText) {
    errorText.clear();
    ProgramState& program = state();
    if (program.scheduler)
        return program.scheduler->restoreCrontab(errorText) == SchedCode::Ok;
    // Without a crontab program InitScheduler fails; that matters only when a task needs a line.
    TaskScheduler scheduler(program.setup ? *program.setup : defaultSchedulerSetup());
    return scheduler.restoreCrontab(errorText) == SchedCode::Ok;
}

void setTaskEditor(TaskEditor editor) {
    state().editor = std::move(editor);
}

bool EditTask(QWidget* parent, std::string_view taskName) {
    std::unique_ptr<ScheduledTask> task = GetTask(taskName);
    if (!task || !state().editor)
        return false;
    return state().editor(parent, *task);
}

bool DeleteTask(std::string_view taskName) {
    std::string error;
    if (InitScheduler(error) != SchedCode::Ok)
        return false;
    return currentScheduler()->remove(taskName, error) == SchedCode::Ok;
}

bool EnumTasks(TTaskList* list, std::string_view applicationFileName, std::string& errorText) {
    errorText.clear();
    if (list == nullptr)
        return false;
    if (InitScheduler(errorText) != SchedCode::Ok)
        return false;
    TaskScheduler& scheduler = *currentScheduler();
    std::vector<ScheduledTask> tasks;
    std::int32_t code = SchedCode::Ok;
    std::string detail;
    const bool complete = scheduler.list(tasks, code, detail);
    const TaskScheduler::EngineState engine = scheduler.currentState();
    for (const ScheduledTask& task : tasks) {
        if (!applicationFileName.empty() &&
            !equalsIgnoringAsciiCase(namePart(task.job.application), applicationFileName))
            continue;
        list->push_back({task.job.name, std::make_unique<TSchedTask>(scheduler.describe(task, engine))});
    }
    if (!complete) {
        errorText = "SchedulingAgent.Enum Result:" + schedCodeHex(code);
        return false;
    }
    return true;
}

void FreeTaskList(std::unique_ptr<TTaskList>& list) {
    list.reset();
}

bool IgnoreWords::less(std::string_view a, std::string_view b) const {
    return m_caseSensitive ? a < b : orderIgnoringAsciiCase(a, b) < 0;
}

void IgnoreWords::add(std::string_view word) {
    const auto at = std::lower_bound(m_words.begin(), m_words.end(), word,
                                     [this](const std::string& x, std::string_view y) { return less(x, y); });
    m_words.insert(at, std::string(word));
}

bool IgnoreWords::contains(std::string_view word) const {
    const auto at = std::lower_bound(m_words.begin(), m_words.end(), word,
                                     [this](const std::string& x, std::string_view y) { return less(x, y); });
    return at != m_words.end() && !less(word, *at);
}

std::vector<std::string> splitTaskParameters(std::string_view parameters) {
    const std::size_t nul = parameters.find('\0');
    if (nul != std::string_view::npos)
        parameters = parameters.substr(0, nul);
    std::vector<std::string> words;
    std::size_t i = 0;
    const std::size_t size = parameters.size();
    auto isSeparator = [&](std::size_t at) { return static_cast<unsigned char>(parameters[at]) <= 32; };
    while (i < size) {
        if (isSeparator(i)) {
            ++i;
            continue;
        }
        std::string word;
        if (parameters[i] == '"') {
            ++i;
            while (i < size) {
                if (parameters[i] == '"') {
                    if (i + 1 < size && parameters[i + 1] == '"') {
                        word += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                word += parameters[i++];
            }
        } else {
            while (i < size && !isSeparator(i))
                word += parameters[i++];
        }
        words.push_back(std::move(word));
    }
    return words;
}

bool ListProgramTasks(TTaskList& list, std::string& errorText) {
    errorText.clear();
    list.clear();
    if (InitScheduler(errorText) != SchedCode::Ok)
        return false;
    const std::string ownFileName(namePart(currentScheduler()->setup().programPath));
    if (ownFileName.empty())
        return false; // an empty name would list the tasks of every program
    if (!EnumTasks(&list, ownFileName, errorText)) {
        list.clear();
        return false;
    }
    return true;
}

bool FindScheduledTaskIn(const TTaskList& tasks, std::string_view profileName, const IgnoreWords& ignoreList,
                         TSchedTask& task, bool& shared) {
    bool found = false;
    shared = false;
    for (const TaskListEntry& entry : tasks) {
        shared = false;
        for (const std::string& word : splitTaskParameters(entry.Task->Parameters)) {
            if (ignoreList.contains(word))
                continue;
            if (equalsIgnoringAsciiCase(word, profileName)) {
                task = *entry.Task;
                found = true;
            } else {
                shared = true;
            }
        }
        if (found)
            break;
    }
    if (!found)
        shared = false;
    return found;
}

bool FindScheduledTask(std::string_view profileName, const IgnoreWords& ignoreList, TSchedTask& task,
                       bool& shared, std::string& errorText) {
    shared = false;
    TTaskList tasks;
    if (!ListProgramTasks(tasks, errorText))
        return false;
    return FindScheduledTaskIn(tasks, profileName, ignoreList, task, shared);
}

} // namespace halcyra
