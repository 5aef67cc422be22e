#include "scheduling/TaskJob.h"

#include "base/DateTime.h"
#include "base/IOStream.h"
#include "base/LineEscape.h"
#include "base/NumberText.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace halcyra {

namespace {

constexpr std::string_view JobHeader = "HalcyraTask 1";
constexpr std::string_view StateHeader = "HalcyraRunState 1";
constexpr std::int64_t SecondsPerDay = 86400;
// Job and run-state files are small; anything larger is not one.
constexpr off_t MaxRecordSize = 1 << 20;

std::string dateText(std::int64_t day) {
    const CivilDateTime civil = toCivil(day * SecondsPerDay);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", civil.year, civil.month, civil.day);
    return buffer;
}

// A "YYYY-MM-DD" date as a day number; nothing for any other text or an impossible date.
std::optional<std::int64_t> dayFrom(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto year = decimalInteger<int>(text.substr(0, 4));
    const auto month = decimalInteger<int>(text.substr(5, 2));
    const auto day = decimalInteger<int>(text.substr(8, 2));
    if (!year || !month || !day || !isValidCivilDateTime({*year, *month, *day, 0, 0, 0}))
        return std::nullopt;
    return daysFromCivil(*year, *month, *day);
}

std::vector<std::string_view> splitBlanks(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos)
            end = text.size();
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string triggerText(const TaskTrigger& trigger) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d", trigger.startMinute / 60, trigger.startMinute % 60);
    return dateText(trigger.startDay) + " " + time + " " + std::to_string(trigger.daysInterval) + " " +
           (trigger.endDay ? dateText(*trigger.endDay) : std::string("-")) + " " +
           (trigger.enabled ? "1" : "0");
}

std::optional<TaskTrigger> triggerFrom(std::string_view text) {
    const std::vector<std::string_view> parts = splitBlanks(text);
    if (parts.size() != 5)
        return std::nullopt;
    TaskTrigger trigger;
    const auto start = dayFrom(parts[0]);
    const std::string_view time = parts[1];
    if (!start || time.size() != 5 || time[2] != ':')
        return std::nullopt;
    const auto hour = decimalInteger<int>(time.substr(0, 2));
    const auto minute = decimalInteger<int>(time.substr(3, 2));
    const auto interval = decimalInteger<int>(parts[2]);
    if (!hour || !minute || *hour < 0 || *hour > 23 || *minute < 0 || *minute > 59 || !interval ||
        *interval < 1)
        return std::nullopt;
    trigger.startDay = *start;
    trigger.startMinute = *hour * 60 + *minute;
    trigger.daysInterval = *interval;
    if (parts[3] != "-") {
        const auto end = dayFrom(parts[3]);
        if (!end)
            return std::nullopt;
        trigger.endDay = end;
    }
    if (parts[4] != "0" && parts[4] != "1")
        return std::nullopt;
    trigger.enabled = parts[4] == "1";
    return trigger;
}

// Calls `onLine(key, value)` for each "key=value" line after the header; false when the header is wrong or a
// line has no '='.
template <typename OnLine> bool forEachEntry(std::string_view text, std::string_view header, OnLine onLine) {
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (line != header)
                return false;
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return false;
        if (!onLine(line.substr(0, equals), unescapeLine(line.substr(equals + 1))))
            return false;
    }
    return !first;
}

void addEntry(std::string& out, std::string_view key, std::string_view value) {
    out.append(key);
    out += '=';
    out += escapeLine(value);
    out += '\n';
}

std::string withSuffix(std::string_view jobPath, std::string_view suffix) {
    std::string path(jobPath);
    constexpr std::string_view JobSuffix = ".job";
    if (path.size() >= JobSuffix.size() &&
        path.compare(path.size() - JobSuffix.size(), JobSuffix.size(), JobSuffix) == 0)
        path.resize(path.size() - JobSuffix.size());
    return path + std::string(suffix);
}

std::string_view outcomeName(RunState::Outcome outcome) {
    switch (outcome) {
    case RunState::Outcome::Exited:
        return "exited";
    case RunState::Outcome::Signalled:
        return "signalled";
    case RunState::Outcome::Terminated:
        return "terminated";
    case RunState::Outcome::NotStarted:
        return "not-started";
    case RunState::Outcome::None:
        break;
    }
    return "none";
}

} // namespace

std::string formatTaskJob(const TaskJob& job) {
    std::string out(JobHeader);
    out += '\n';
    addEntry(out, "Name", job.name);
    addEntry(out, "Application", job.application);
    addEntry(out, "Parameters", job.parameters);
    addEntry(out, "WorkingDirectory", job.workingDirectory);
    addEntry(out, "Comment", job.comment);
    addEntry(out, "Flags", std::to_string(job.flags));
    addEntry(out, "MaxRunTime", std::to_string(job.maxRunTimeMs));
    for (const TaskTrigger& trigger : job.triggers)
        addEntry(out, "Trigger", triggerText(trigger));
    for (const auto& [name, value] : job.environment)
        addEntry(out, "Environment", name + "=" + value);
    return out;
}

std::optional<TaskJob> parseTaskJob(std::string_view text) {
    TaskJob job;
    bool haveName = false;
    const bool ok = forEachEntry(text, JobHeader, [&](std::string_view key, const std::string& value) {
        if (key == "Name") {
            job.name = value;
            haveName = true;
        } else if (key == "Application") {
            job.application = value;
        } else if (key == "Parameters") {
            job.parameters = value;
        } else if (key == "WorkingDirectory") {
            job.workingDirectory = value;
        } else if (key == "Comment") {
            job.comment = value;
        } else if (key == "Flags") {
            const auto flags = decimalInteger<std::uint32_t>(value);
            if (!flags)
                return false;
            job.flags = *flags;
        } else if (key == "MaxRunTime") {
            const auto limit = decimalInteger<std::uint32_t>(value);
            if (!limit)
                return false;
            job.maxRunTimeMs = *limit;
        } else if (key == "Trigger") {
            const auto trigger = triggerFrom(value);
            if (!trigger)
                return false;
            job.triggers.push_back(*trigger);
        } else if (key == "Environment") {
            const std::size_t equals = value.find('=');
            if (equals == 0 || equals == std::string::npos)
                return false;
            job.environment.emplace_back(value.substr(0, equals), value.substr(equals + 1));
        }
        // Entries of other names are left for newer versions of this format.
        return true;
    });
    if (!ok || !haveName)
        return std::nullopt;
    return job;
}

std::string formatRunState(const RunState& state) {
    std::string out(StateHeader);
    out += '\n';
    if (state.lastStart)
        addEntry(out, "LastStart", std::to_string(*state.lastStart));
    if (state.lastEnd)
        addEntry(out, "LastEnd", std::to_string(*state.lastEnd));
    addEntry(out, "Outcome", outcomeName(state.outcome));
    addEntry(out, "ExitCode", std::to_string(state.exitCode));
    addEntry(out, "RunnerPid", std::to_string(state.runnerPid));
    if (!state.message.empty())
        addEntry(out, "Message", state.message);
    return out;
}

std::optional<RunState> parseRunState(std::string_view text) {
    RunState state;
    const bool ok = forEachEntry(text, StateHeader, [&](std::string_view key, const std::string& value) {
        if (key == "LastStart" || key == "LastEnd") {
            const auto seconds = decimalInteger<std::int64_t>(value);
            if (!seconds)
                return false;
            (key == "LastStart" ? state.lastStart : state.lastEnd) = seconds;
        } else if (key == "Outcome") {
            using Outcome = RunState::Outcome;
            bool known = false;
            for (Outcome outcome : {Outcome::None, Outcome::Exited, Outcome::Signalled, Outcome::Terminated,
                                    Outcome::NotStarted}) {
                if (value == outcomeName(outcome)) {
                    state.outcome = outcome;
                    known = true;
                }
            }
            return known;
        } else if (key == "ExitCode") {
            const auto code = decimalInteger<int>(value);
            if (!code)
                return false;
            state.exitCode = *code;
        } else if (key == "RunnerPid") {
            const auto pid = decimalInteger<std::int64_t>(value);
            if (!pid)
                return false;
            state.runnerPid = *pid;
        } else if (key == "Message") {
            state.message = value;
        }
        return true;
    });
    if (!ok)
        return std::nullopt;
    return state;
}

std::optional<std::chrono::milliseconds> runTimeLimit(std::uint32_t maxRunTimeMs) {
    if (maxRunTimeMs == 0 || maxRunTimeMs == NoRunTimeLimit)
        return std::nullopt;
    return std::chrono::milliseconds(maxRunTimeMs);
}

std::string runStatePath(std::string_view jobPath) {
    return withSuffix(jobPath, ".state");
}

std::string runLockPath(std::string_view jobPath) {
    return withSuffix(jobPath, ".lock");
}

std::vector<std::pair<std::string, std::string>> captureSessionEnvironment() {
    static constexpr std::string_view Names[] = {
        "HOME", "USER", "LOGNAME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "LANG", "LANGUAGE", "TZ"};
    std::vector<std::pair<std::string, std::string>> captured;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::size_t equals = text.find('=');
        if (equals == 0 || equals == std::string_view::npos)
            continue;
        const std::string_view name = text.substr(0, equals);
        bool wanted = name.rfind("LC_", 0) == 0;
        for (std::string_view candidate : Names)
            wanted = wanted || name == candidate;
        if (wanted)
            captured.emplace_back(std::string(name), std::string(text.substr(equals + 1)));
    }
    return captured;
}

bool holdsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos;
}

int readTaskRecord(const std::string& path, std::string& text) {
    return readWholeFile(path, text, MaxRecordSize);
}

bool writeTaskRecord(const std::string& path, std::string_view text, std::string& error) {
    AtomicLineWriter writer(path);
    bool ok = writer.open();
    std::size_t start = 0;
    while (ok && start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        ok = writer.writeLine(text.substr(start, end - start));
        start = end + 1;
    }
    ok = ok && writer.commit();
    if (!ok)
        error = "The task file " + path + " could not be written: " + writer.errorText();
    return ok;
}

} // namespace halcyra
