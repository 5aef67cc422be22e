#include "detection/HousekeepingJournal.h"

#include "base/AsciiCase.h"
#include "base/IOStream.h"
#include "base/LineEscape.h"
#include "base/Paths.h"
#include "detection/Log.h"
#include "platform/RegistryStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <set>

namespace halcyra {

namespace {

// The key whose values mark the committed commands, one value per journal id. It lies outside the
// profiles' root key, so no profile list or export sees it.
constexpr std::string_view MarkerKey = "\\Software\\OrrendaleSoftware\\HalcyraCommittedCommands";
constexpr std::string_view JournalPrefix = ".journal-";
constexpr std::size_t IdLength = 16;
constexpr std::string_view EndLine = "end";

struct StepName {
    HousekeepingJournal::StepKind kind;
    std::string_view word;
    bool twoNames;
};
constexpr std::array<StepName, 4> StepNames = {{
    {HousekeepingJournal::StepKind::Rename, "rename", true},
    {HousekeepingJournal::StepKind::Remove, "remove", false},
    {HousekeepingJournal::StepKind::RenameLogs, "renamelogs", true},
    {HousekeepingJournal::StepKind::DeleteLogs, "deletelogs", false},
}};

bool isJournalName(std::string_view name) {
    if (name.size() != JournalPrefix.size() + IdLength ||
        name.substr(0, JournalPrefix.size()) != JournalPrefix)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(JournalPrefix.size()), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string newId() {
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                              static_cast<std::uint64_t>(::getpid()));
    char text[IdLength + 1];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(generator()));
    return text;
}

// Whether anything, a dangling link included, stands at `path`.
bool entryExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

// The journals in the data folder, by path.
std::vector<std::string> journalPaths() {
    std::vector<std::string> paths;
    const std::string folder = dataFolder();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return paths;
    while (const dirent* item = ::readdir(dir))
        if (isJournalName(item->d_name))
            paths.push_back(folder + item->d_name);
    ::closedir(dir);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<std::string> splitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(unescapeLine(std::string_view(line).substr(start, tab - start)));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::string joinedNames(const std::vector<std::string>& profiles) {
    std::string names;
    for (const std::string& profile : profiles)
        names += (names.empty() ? "" : ", ") + profile;
    return names.empty() ? std::string("(unknown)") : names;
}

std::string recoveryFailed(const std::vector<std::string>& profiles, const std::string& reason) {
    return "The interrupted change of the profile " + joinedNames(profiles) +
           " could not be completed: " + reason;
}

} // namespace

namespace {

struct Parsed {
    std::vector<std::string> profiles;
    std::vector<std::string> staged;
    std::vector<HousekeepingJournal::Step> steps;
};

// Reads the journal at `path`: 0, ENOENT when it is gone, or EINVAL when it cannot be read whole.
int readJournal(const std::string& path, Parsed& parsed) {
    LineReader reader;
    if (!reader.open(path))
        return entryExists(path) ? EINVAL : ENOENT;
    std::string line;
    bool ended = false;
    while (reader.readLine(line)) {
        const std::vector<std::string> fields = splitFields(line);
        if (ended)
            return EINVAL;
        if (fields[0] == EndLine && fields.size() == 1) {
            ended = true;
        } else if (fields[0] == "profile" && fields.size() == 2) {
            parsed.profiles.push_back(fields[1]);
        } else if (fields[0] == "stage" && fields.size() == 2) {
            parsed.staged.push_back(fields[1]);
        } else {
            const auto known = std::find_if(StepNames.begin(), StepNames.end(),
                                            [&](const StepName& step) { return step.word == fields[0]; });
            if (known == StepNames.end() || fields.size() != (known->twoNames ? 3u : 2u))
                return EINVAL;
            parsed.steps.push_back({known->kind, fields[1], known->twoNames ? fields[2] : std::string(), {}});
        }
    }
    return ended && !reader.failed() ? 0 : EINVAL;
}

} // namespace

HousekeepingJournal::HousekeepingJournal(std::vector<std::string> profiles)
    : m_id(newId()), m_path(dataFolder() + std::string(JournalPrefix) + m_id),
      m_profiles(std::move(profiles)) {}

HousekeepingJournal::~HousekeepingJournal() {
    if (m_committed)
        return;
    removeStaged(m_staged);
    if (m_written)
        ::unlink(m_path.c_str());
}

void HousekeepingJournal::add(StepKind kind, std::string from, std::string to, std::string failureText) {
    m_steps.push_back({kind, std::move(from), std::move(to), std::move(failureText)});
}

bool HousekeepingJournal::write(std::string& errorText) {
    reachStep();
    AtomicLineWriter writer(m_path);
    if (writer.open()) {
        const auto line = [&](std::string_view word, const std::string& first, const std::string* second) {
            std::string text(word);
            text += '\t';
            text += escapeLine(first);
            if (second != nullptr) {
                text += '\t';
                text += escapeLine(*second);
            }
            return writer.writeLine(text);
        };
        bool written = true;
        for (const std::string& profile : m_profiles)
            written = written && line("profile", profile, nullptr);
        for (const std::string& path : m_staged)
            written = written && line("stage", path, nullptr);
        for (const Step& step : m_steps) {
            const StepName& name = StepNames[static_cast<std::size_t>(step.kind)];
            written = written && line(name.word, step.from, name.twoNames ? &step.to : nullptr);
        }
        if (written && writer.writeLine(EndLine))
            writer.commit();
    }
    if (writer.failure() != AtomicLineWriter::Failure::None) {
        errorText = "The journal \"" + m_path + "\" could not be written: " + writer.errorText();
        return false;
    }
    m_written = true;
    reachStep();
    return true;
}

RegStatus HousekeepingJournal::mark(RegistryStore& store) {
    return store.createAndSetValue(MarkerKey, m_id, REG_SZ, "1");
}

bool HousekeepingJournal::finish(std::vector<std::string>& failures) {
    m_committed = true;
    reachStep();
    if (!runSteps(m_steps, failures))
        return false;
    std::string error;
    std::unique_ptr<RegistryStore> store = RegistryStore::open(&error);
    const RegStatus cleared = store ? store->deleteValue(MarkerKey, m_id) : RegStatus::Error;
    if (cleared != RegStatus::Ok && cleared != RegStatus::NotFound) {
        failures.push_back(recoveryFailed(m_profiles, store ? store->lastError() : error));
        return false;
    }
    reachStep();
    removeStaged(m_staged);
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT) {
        failures.push_back(recoveryFailed(
            m_profiles, "The journal \"" + m_path + "\" could not be removed: " + systemMessage(errno)));
        return false;
    }
    reachStep();
    return true;
}

bool HousekeepingJournal::runSteps(const std::vector<Step>& steps, std::vector<std::string>& failures) {
    bool done = true;
    for (const Step& step : steps) {
        std::string failure;
        switch (step.kind) {
        case StepKind::Rename:
            if (entryExists(step.from) && std::rename(step.from.c_str(), step.to.c_str()) != 0)
                failure = "The file \"" + step.from + "\" could not be moved to \"" + step.to +
                          "\": " + systemMessage(errno);
            break;
        case StepKind::Remove:
            if (::unlink(step.from.c_str()) != 0 && errno != ENOENT)
                failure = "The file \"" + step.from + "\" could not be removed: " + systemMessage(errno);
            break;
        case StepKind::RenameLogs:
            if (!TLog::RenameLogs(step.from, step.to))
                failure =
                    "The log pages of " + step.from + " could not be renamed to those of " + step.to + ".";
            break;
        case StepKind::DeleteLogs:
            TLog::DeleteLogs(step.from);
            break;
        }
        if (!failure.empty()) {
            failures.push_back(step.failureText.empty() ? failure : step.failureText);
            done = false;
        }
        reachStep();
    }
    return done;
}

void HousekeepingJournal::removeStaged(const std::vector<std::string>& staged) {
    for (const std::string& path : staged) {
        std::error_code ignored; // a leftover that stays is swept later
        std::filesystem::remove_all(path, ignored);
        reachStep();
    }
}

bool HousekeepingJournal::recoverOne(const std::string& path, std::string_view heldProfile,
                                     std::string& errorText, bool& busy) {
    busy = false;
    Parsed parsed;
    const int read = readJournal(path, parsed);
    if (read == ENOENT)
        return true;
    // The locks of the journal's profiles: while another holder has one, that command is still going on.
    std::vector<std::unique_ptr<ProfileRunLock>> locks;
    for (const std::string& profile : parsed.profiles) {
        if (equalsIgnoringAsciiCase(profile, heldProfile))
            continue;
        locks.push_back(std::make_unique<ProfileRunLock>());
        std::string lockError;
        switch (locks.back()->acquire(profile, lockError, false)) {
        case ProfileRunLock::Outcome::Acquired:
            break;
        case ProfileRunLock::Outcome::Busy:
            busy = true;
            errorText = lockError;
            return false;
        case ProfileRunLock::Outcome::Failed:
            errorText = recoveryFailed(parsed.profiles, lockError);
            return false;
        }
    }
    if (!entryExists(path))
        return true; // its own command finished it meanwhile
    std::string error;
    std::unique_ptr<RegistryStore> store = RegistryStore::open(&error);
    const std::string id(namePart(path).substr(JournalPrefix.size()));
    const RegStatus marked = store ? store->valueExists(MarkerKey, id) : RegStatus::Error;
    if (marked == RegStatus::Error) {
        errorText = recoveryFailed(parsed.profiles, store ? store->lastError() : error);
        return false;
    }
    if (marked == RegStatus::Ok) {
        if (read != 0) {
            errorText = recoveryFailed(parsed.profiles, "The journal \"" + path + "\" cannot be read.");
            return false;
        }
        std::vector<std::string> failures;
        if (!runSteps(parsed.steps, failures)) {
            errorText = recoveryFailed(parsed.profiles, failures.front());
            return false;
        }
        const RegStatus cleared = store->deleteValue(MarkerKey, id);
        if (cleared != RegStatus::Ok && cleared != RegStatus::NotFound) {
            errorText = recoveryFailed(parsed.profiles, store->lastError());
            return false;
        }
    }
    removeStaged(parsed.staged);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        errorText = recoveryFailed(parsed.profiles, "The journal \"" + path +
                                                        "\" could not be removed: " + systemMessage(errno));
        return false;
    }
    return true;
}

namespace {

// Removes the staging folders and copy temporaries that no live process holds and no journal names.
void sweepLeftovers() {
    std::set<std::string> needed;
    for (const std::string& path : journalPaths()) {
        Parsed parsed;
        const int read = readJournal(path, parsed);
        if (read == EINVAL)
            return; // what it needs is unknown: nothing is swept until it is resolved
        needed.insert(parsed.staged.begin(), parsed.staged.end());
    }
    const std::string folder = dataFolder();
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    while (const dirent* item = ::readdir(dir)) {
        const std::string_view name = item->d_name;
        constexpr std::size_t CopySuffix = 11; // ".copy" and six letters or digits
        const bool staging = hasRandomSuffix(name, ".import-") || hasRandomSuffix(name, ".export-");
        const bool copy =
            name.size() > CopySuffix &&
            hasRandomSuffix(name, std::string(name.substr(0, name.size() - CopySuffix)) + ".copy");
        if ((staging || copy) && needed.count(folder + item->d_name) == 0)
            removeUnlockedEntry(folder, ::dirfd(dir), item->d_name, staging);
    }
    ::closedir(dir);
}

} // namespace

void HousekeepingJournal::recoverAll(std::vector<std::string>& failures) {
    for (const std::string& path : journalPaths()) {
        std::string error;
        bool busy = false;
        if (!recoverOne(path, {}, error, busy) && !busy)
            failures.push_back(error);
    }
    sweepLeftovers();
}

ProfileRunLock::Outcome HousekeepingJournal::recoverFor(std::string_view profile, std::string& errorText) {
    for (const std::string& path : journalPaths()) {
        Parsed parsed;
        if (readJournal(path, parsed) != 0 ||
            std::none_of(parsed.profiles.begin(), parsed.profiles.end(),
                         [&](const std::string& named) { return equalsIgnoringAsciiCase(named, profile); }))
            continue;
        bool busy = false;
        if (!recoverOne(path, profile, errorText, busy))
            return busy ? ProfileRunLock::Outcome::Busy : ProfileRunLock::Outcome::Failed;
    }
    sweepLeftovers();
    return ProfileRunLock::Outcome::Acquired;
}

std::function<void()>& HousekeepingJournal::stepHook() {
    static std::function<void()> hook;
    return hook;
}

void HousekeepingJournal::reachStep() {
    if (const std::function<void()>& hook = stepHook())
        hook();
}

} // namespace halcyra
