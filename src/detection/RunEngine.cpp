#include "detection/RunEngine.h"

#include "base/AsciiCase.h"
#include "base/Clock.h"
#include "base/DateTime.h"
#include "base/DisplayDateTime.h"
#include "base/LongPath.h"
#include "base/Paths.h"
#include "base/ProfileNameRule.h"
#include "detection/DifferencesReview.h"
#include "detection/FileSettings.h"
#include "detection/Log.h"
#include "detection/ProfileRunLock.h"
#include "hashing/HashPool.h"
#include "hashing/Hashing.h"
#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/UiServices.h"
#include "settings/AuxProcs.h"
#include "settings/Settings.h"

#include <algorithm>
#include <deque>
#include <iostream>
#include <sys/stat.h>
#include <vector>

namespace halcyra {

namespace {

constexpr std::string_view ResultAborted = "Aborted";
constexpr std::string_view ResultFailure = "Failure";

void showErrorBox(UiServices* ui, std::string_view text) {
    if (ui != nullptr)
        showError(*ui, text);
}

// Shows a failure that needs a person: an error box in an interactive run, one line on `errors` (standard
// error when null) in an unattended one.
void reportToPerson(UiServices* ui, bool unattended, std::ostream* errors, std::string_view text) {
    if (!unattended)
        showErrorBox(ui, text);
    else
        writeMessageLine(errors != nullptr ? *errors : std::cerr, "Error", text);
}

std::string unreadableProfileText(std::string_view name, std::string_view reason) {
    return "The profile " + std::string(name) + " could not be read: " + std::string(reason);
}

std::string unrecordedRunText(std::string_view name, std::string_view reason) {
    return "The run of the profile " + std::string(name) + " could not be recorded: " + std::string(reason);
}

// The profile type a stored text gives: its integer value, 0 for anything else.
std::int32_t profileTypeOf(const SettingText& type) {
    return type.state == SettingState::Value ? integerFromText(type.text).value_or(0) : 0;
}

char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Upper-case folding: "_" and the other bytes between the two letter ranges sort after letters here, unlike
// orderIgnoringAsciiCase, and group members keep that order.
bool lessIgnoringAsciiCase(std::string_view left, std::string_view right) {
    return std::lexicographical_compare(
        left.begin(), left.end(), right.begin(), right.end(), [](char a, char b) {
            return static_cast<unsigned char>(asciiUpper(a)) < static_cast<unsigned char>(asciiUpper(b));
        });
}

bool isPlaceholder(const TFileDetails& details) {
    return details.Hash == CannotOpenFilePlaceholder;
}

// Both hashes are known, the current one is readable, and they differ.
bool contentsDiffer(const TFileDetails& oldSide, const TFileDetails& newSide) {
    return !oldSide.Hash.empty() && !newSide.Hash.empty() && !isPlaceholder(newSide) &&
           !equalsIgnoringAsciiCase(oldSide.Hash, newSide.Hash);
}

// The log's change text of a changed entry that has both sides: every difference, in the order
// unreadable or contents, date/time, size, ending in one blank.
std::string changeText(const TFileCompare& entry, TLog::ChangeStyle& style) {
    style = TLog::ChangeStyle::Plain;
    std::string text;
    if (isPlaceholder(*entry.New)) {
        text = "Cannot read,";
        style = TLog::ChangeStyle::RedBold;
    } else if (contentsDiffer(*entry.Old, *entry.New)) {
        text = "Contents,";
    }
    if (entry.Old->DateTime != entry.New->DateTime)
        text += "Date/time,";
    if (entry.Old->Size != entry.New->Size)
        text += "Size,";
    if (!text.empty())
        text.back() = ' ';
    return text;
}

RunProgress& silentProgress() {
    static RunProgress progress;
    return progress;
}

// Hashes the files of a run on a pool while the scanner finds them: each file is handed in as it enters the
// list, and its hash is written into its New side when the pool gives it back, in the order of the walk. A
// file the scanner did not look at is looked at by the pool: its size and time are filled in then, and a file
// that is gone or no regular file by then leaves the list as if the scanner had not found it.
class HashAhead {
public:
    HashAhead(HashPool& pool, CompareList& list, const std::string& root, const StopPoll* poll)
        : m_pool(pool), m_list(list), m_root(root), m_poll(poll) {}

    // Hands in the file of `entry`; false when the pool was stopped while waiting for room.
    bool handIn(CompareList::iterator entry, bool unseen) {
        if (m_pool.full() && !takeOldest())
            return false;
        std::string path = pathOf(entry);
        if (unseen)
            m_pool.submitListed(std::move(path));
        else
            m_pool.submit(std::move(path));
        m_waiting.push_back({entry, unseen});
        return true;
    }

    // Takes every hash still in the pool; false when it was stopped.
    bool takeAll() {
        while (!m_waiting.empty())
            if (!takeOldest())
                return false;
        return true;
    }

    // The scan ended early: the files the pool was still to look at are looked at here, so that the list
    // holds what a scanner that looks at every file itself would have found. Their hashes are dropped.
    void lookAtTheRest() {
        for (const Waiting& waiting : m_waiting) {
            struct stat found;
            if (waiting.unseen)
                place(waiting.entry,
                      statLongPath(pathOf(waiting.entry), found, true) == 0 ? &found : nullptr);
        }
        m_waiting.clear();
    }

private:
    struct Waiting {
        CompareList::iterator entry;
        bool unseen;
    };

    std::string pathOf(CompareList::iterator entry) const {
        // Keys begin with the '/' that ends the root.
        return std::string(m_root).append(entry->first, 1, std::string::npos);
    }

    // Gives the New side of an entry the scanner did not look at the size and time of `found`, or takes it
    // out when that is no regular file; false when it was taken out.
    bool place(CompareList::iterator item, const struct stat* found) {
        TFileCompare& entry = item->second;
        if (found == nullptr || !S_ISREG(found->st_mode)) {
            entry.New.reset();
            if (!entry.Old)
                m_list.erase(item);
            return false;
        }
        entry.New->Size = static_cast<std::int64_t>(found->st_size);
        // Files written together share their time: the local time is worked out once for them.
        const auto seconds = static_cast<std::int64_t>(found->st_mtim.tv_sec);
        if (seconds != m_lastSeconds || !m_lastDateTime) {
            m_lastSeconds = seconds;
            m_lastDateTime = fileDateTime(seconds);
        }
        entry.New->DateTime = *m_lastDateTime;
        return true;
    }

    bool takeOldest() {
        std::optional<std::string> hash = m_pool.take(m_poll);
        if (!hash)
            return false;
        const Waiting waiting = m_waiting.front();
        m_waiting.pop_front();
        if (!waiting.unseen || place(waiting.entry, m_pool.takenStat()))
            waiting.entry->second.New->Hash =
                hash->empty() ? std::string(CannotOpenFilePlaceholder) : std::move(*hash);
        return true;
    }

    HashPool& m_pool;
    CompareList& m_list;
    const std::string& m_root;
    const StopPoll* m_poll;
    std::deque<Waiting> m_waiting; // handed in, oldest first
    std::int64_t m_lastSeconds = 0;
    std::optional<TDateTimeSecs> m_lastDateTime; // of m_lastSeconds
};

// Forgets the hashes of the entries from `from` on: files hashed ahead of a run that ended before their turn.
void forgetHashes(CompareList::iterator from, CompareList::iterator end) {
    for (; from != end; ++from)
        if (from->second.New)
            from->second.New->Hash.clear();
}

// Calls `action` when it leaves its scope, however that happens.
template <class Action> class ScopeExit {
public:
    explicit ScopeExit(Action action) : m_action(std::move(action)) {}
    ~ScopeExit() { m_action(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action m_action;
};

} // namespace

RunEngine::RunEngine(TSettings& settings, bool unattended, RunProgress* progress, RunEnvironment environment)
    : m_settings(settings), m_unattended(unattended), m_progress(progress ? *progress : silentProgress()),
      m_env(std::move(environment)), m_ui(m_env.ui ? m_env.ui : currentUiServices()) {
    m_profileName = m_settings.KeyName();
    m_nameProblem = profileNameProblem(m_profileName);
    if (!m_nameProblem.empty())
        return; // the name could stand for another profile's files: nothing of them is read
    std::string error;
    TFileSettings::LoadExclusions(m_profileName, &m_exclusions, error);
    if (!error.empty())
        reportToPerson(error);
    SettingText source = m_settings.tryReadSubKeyString({}, "Source");
    if (source.state == SettingState::Error)
        m_readError = std::move(source.error);
    else
        m_source = std::move(source.text);
}

RunEngine::~RunEngine() = default;

TDateTimeSecs RunEngine::now() const {
    Clock& clock = m_env.clock ? *m_env.clock : Clock::system();
    return localDateTime(clock.now());
}

void RunEngine::reportError(std::string_view text) {
    showErrorBox(m_ui, text);
}

void RunEngine::reportToPerson(std::string_view text) {
    halcyra::reportToPerson(m_ui, m_unattended, m_env.errors, text);
}

bool RunEngine::record(std::string_view name, std::string_view value) {
    if (m_settings.UpdateString(name, value))
        return true;
    m_bookkeepingFailed = true;
    reportToPerson(unrecordedRunText(m_profileName, m_settings.WriteError()));
    return false;
}

bool RunEngine::stillStored() {
    if (m_settings.tryReadSubKeyString({}, "ProfileType").state != SettingState::Missing)
        return true;
    m_bookkeepingFailed = true;
    reportToPerson("The profile " + m_profileName +
                   " was deleted while it was being run: nothing was stored.");
    return false;
}

void RunEngine::setStatus(std::string_view text) {
    m_progress.setStatus(text);
}

bool RunEngine::pollAbort() {
    if (m_progress.processEvents())
        m_aborted = true;
    return m_aborted;
}

void RunEngine::RequestAbort() {
    if (m_aborted) {
        if (m_ui != nullptr)
            showInformation(*m_ui, "Already attempting to abort. Please be patient.");
        return;
    }
    const bool confirmed = m_ui != nullptr && askYesNo(*m_ui, "Are you sure you want to abort?");
    if (confirmed && !m_aborted) {
        m_aborted = true;
        setStatus("Aborting...");
    }
}

void RunEngine::Run() {
    if (m_started)
        return;
    m_started = true;
    m_running = true;
    ScopeExit notRunning([this] { m_running = false; });
    if (!m_nameProblem.empty()) {
        reportError("The profile " + m_profileName + " cannot be run: " + m_nameProblem);
        return;
    }
    if (!m_readError.empty()) { // the profile's folder is unknown, not empty
        reportError(unreadableProfileText(m_profileName, m_readError));
        return;
    }

    m_startTime = now();
    setStatus("Preparing to execute...");
    const std::string lastRun = m_settings.ReadStringDef("LastRun", "");
    m_progress.runStarted(m_profileName, lastRun.empty() ? std::string_view("Never") : lastRun);

    ProfileRunLock lock;
    std::string lockError;
    switch (lock.acquire(m_profileName, lockError)) {
    case ProfileRunLock::Outcome::Acquired:
        break;
    case ProfileRunLock::Outcome::Busy:
    case ProfileRunLock::Outcome::Failed:
        reportError(lockError);
        return;
    }

    // A run that cannot record its start stores nothing: its changes would leave no trace.
    if (!record("LastRun", formatDisplayDateTime(m_startTime)) || !record("LastResult", ResultAborted))
        return;
    pollAbort();

    bool completed = false;
    {
        m_progress.setActive(true);
        ScopeExit inactive([this] { m_progress.setActive(false); });
        completed = runStepsCompleted();
    }
    const bool recorded = completed && writeFinalResult();
    if (m_aborted)
        m_outcome = RunEnd::Aborted;
    else if (recorded && !m_bookkeepingFailed)
        m_outcome = RunEnd::Finished;
}

bool RunEngine::runStepsCompleted() {
    if (!scanAndHash() || !findChanges())
        return false;
    m_finishTime = now();
    const bool store = decideStore();
    // A profile deleted during its run keeps neither a log nor results: they would belong to no profile.
    if (!stillStored())
        return false;
    switch (buildLog()) {
    case LogOutcome::Written:
        break;
    case LogOutcome::Aborted:
        record("LastResult", ResultFailure);
        return false;
    case LogOutcome::Failed:
        return false; // the run stays "Aborted"
    }
    if (store && (!stillStored() || !saveResults())) {
        record("LastResult", ResultFailure);
        return false;
    }
    viewLogWhenAsked();
    return true;
}

bool RunEngine::scanAndHash() {
    const std::uint8_t recursive = m_settings.ReadTriStateDef("Recursive", 0);
    std::unique_ptr<KeySet> excludedDirs;
    if (recursive == 2) {
        excludedDirs = std::make_unique<KeySet>();
        std::string ignored; // a damaged folder exclusion list excludes what could be read
        TFileSettings::LoadExclusionDirs(m_profileName, excludedDirs.get(), ignored);
    }

    setStatus("Loading original results...");
    m_fileList = std::make_unique<CompareList>();
    std::string error;
    TFileSettings::LoadResults(m_profileName, excludedDirs.get(), m_fileList.get(), error);
    m_progress.stepPhase();
    if (!error.empty()) {
        reportError(error);
        return false;
    }

    setStatus("Scanning directory...");
    m_progress.setFileName({});
    m_progress.setFileNameVisible(true);
    const bool hashing = !m_settings.ReadBoolDef("NoHash", false);
    std::function<bool()> poll;
    if (m_progress.pollsInsideFiles())
        poll = [this] { return pollAbort(); };
    // With several threads the files are hashed while the scan goes on; each entry still takes its hash, and
    // shows its progress, in list order after the scan.
    std::unique_ptr<HashPool> pool;
    std::unique_ptr<HashAhead> ahead;
    const std::string root = withTrailingSlash(m_source);
    if (hashing) {
        pool = std::make_unique<HashPool>(TFileHashing::KindMD5,
                                          m_env.hashPlan ? m_env.hashPlan(root) : hashPlanFor(root));
        if (pool->threads() > 0)
            ahead = std::make_unique<HashAhead>(*pool, *m_fileList, root, poll ? &poll : nullptr);
    }
    {
        TTreeScanner scanner(*m_fileList, m_env.fileSystem, m_env.clock);
        scanner.OnDirectory = [this](const std::string& folder) {
            m_progress.setFileName(folder);
            return pollAbort();
        };
        if (ahead) {
            scanner.OnFile = [&ahead](CompareList::iterator entry, bool unseen) {
                return !ahead->handIn(entry, unseen);
            };
            scanner.LookLater = true; // the scan makes no call per file: the pool looks at them
        }
        scanner.SetIncludeMasks(m_settings.ReadStringDef("FileMasks", "*.*"));
        scanner.SetExcludeMasks(m_settings.ReadStringDef("ExclFileMasks", ""));
        scanner.SetExcludedDirs(excludedDirs.get());
        const bool scanned = scanner.Scan(m_source, recursive != 0, error) && (!ahead || ahead->takeAll());
        m_root = scanner.Root();
        m_progress.stepPhase();
        if (!scanned) {
            if (ahead)
                ahead->lookAtTheRest();
            forgetHashes(m_fileList->begin(), m_fileList->end());
            if (!error.empty())
                reportError(error);
            return false; // an error, or an abort during the scan
        }
    }

    if (hashing) {
        setStatus("Calculating hash values...");
        m_progress.setFileRange(static_cast<int>(m_fileList->size()));
        int position = 0;
        for (auto item = m_fileList->begin(); item != m_fileList->end(); ++item) {
            auto& [key, entry] = *item;
            m_progress.setFileName(key);
            if (pollAbort()) {
                forgetHashes(item, m_fileList->end());
                return false;
            }
            if (entry.New && !ahead) {
                pool->submit(std::string(m_root).append(key, 1, std::string::npos));
                std::optional<std::string> hash = pool->take(poll ? &poll : nullptr);
                if (!hash)
                    return false; // aborted inside the file: it has no value
                entry.New->Hash = hash->empty() ? std::string(CannotOpenFilePlaceholder) : std::move(*hash);
            }
            m_progress.setFilePosition(++position);
        }
        m_progress.setFilePosition(0);
    }

    m_progress.stepPhase();
    m_progress.setFileName({});
    m_progress.setFileNameVisible(false);
    pollAbort();
    m_progress.stepPhase();
    return true;
}

bool RunEngine::findChanges() {
    m_counts = {};
    setStatus("Excluded files...");
    TTreeScanner::MarkEntries(m_exclusions, *m_fileList);
    m_progress.stepPhase();

    setStatus("Searching for changes...");
    m_progress.setFilePosition(0);
    m_progress.setFileRange(static_cast<int>(m_fileList->size()));
    RunCounts& c = m_counts;
    int position = 0;
    for (auto& [key, entry] : *m_fileList) {
        if (pollAbort())
            return false;
        m_progress.setFilePosition(++position);
        const auto count = [&entry](int& counter) {
            if (!entry.Excluded)
                ++counter;
        };
        std::uint8_t status = 0;
        if (!entry.New) {
            count(c.Deleted);
            status = 16;
        } else if (!entry.Old) {
            count(c.Created);
            status = 8;
        } else {
            if (isPlaceholder(*entry.New)) {
                count(c.CannotHash);
                status = 2;
            } else if (contentsDiffer(*entry.Old, *entry.New)) {
                count(c.ContentsChanged);
                status = 2;
            }
            if (entry.Old->Size != entry.New->Size) {
                count(c.SizeChanged);
                status = 1;
            }
            if (entry.Old->DateTime != entry.New->DateTime) {
                count(c.DateTimeChanged);
                status = 4;
            }
        }
        entry.Status = status;
        if (status != 0) {
            ++c.AllChanged;
            if (entry.Excluded)
                ++c.ExcludedChanged;
        }
    }
    m_progress.stepPhase();
    m_progress.setFilePosition(0);
    return true;
}

bool RunEngine::decideStore() {
    if (m_unattended || m_counts.AllChanged - m_counts.ExcludedChanged <= 0) {
        if (m_counts.AllChanged <= 0) {
            // Hashing switched back on: stored entries without a hash get the new one, so that a later
            // change of contents is found. This is no change of the files and is not reported as one.
            return std::any_of(m_fileList->begin(), m_fileList->end(), [](const auto& item) {
                const TFileCompare& entry = item.second;
                return entry.Old && entry.New && entry.Old->Hash.empty() && !entry.New->Hash.empty() &&
                       !isPlaceholder(*entry.New);
            });
        }
        // Without a review, a scan that found nothing never replaces stored results that hold files:
        // an unmounted or emptied folder must not wipe the known state.
        const auto hasNew = [](const auto& item) { return item.second.New != nullptr; };
        const auto hasOld = [](const auto& item) { return item.second.Old != nullptr; };
        const bool foundNone = std::none_of(m_fileList->begin(), m_fileList->end(), hasNew);
        const bool storedSome = std::any_of(m_fileList->begin(), m_fileList->end(), hasOld);
        return !(foundNone && storedSome);
    }
    bool exclusionsChanged = false;
    const ShowDifferencesEntry& review = showDifferencesEntry();
    const bool store = review ? review(*m_fileList, m_exclusions, exclusionsChanged) : false;
    if (exclusionsChanged) {
        std::string error;
        TFileSettings::SaveExclusions(m_profileName, &m_exclusions, error);
        if (!error.empty()) {
            m_bookkeepingFailed = true;
            reportError(error);
        }
    }
    return store;
}

RunEngine::LogOutcome RunEngine::buildLog() {
    // The pages are counted from the rows that will be written: changed files not excluded as marked
    // now, after the review.
    int rows = 0;
    for (const auto& [key, entry] : *m_fileList)
        if (entry.Status != 0 && !entry.Excluded)
            ++rows;
    const RunCounts& c = m_counts;
    TLog log(m_profileName, m_source, m_startTime, m_finishTime, rows, m_unattended);
    log.WriteSummary(c.ContentsChanged, c.Created, c.Deleted, c.DateTimeChanged, c.SizeChanged, c.CannotHash,
                     c.AllChanged, c.ExcludedChanged);

    setStatus("Building log file...");
    m_progress.setFilePosition(0);
    m_progress.setFileRange(static_cast<int>(m_fileList->size()));
    bool aborted = false;
    int position = 0;
    for (const auto& [key, entry] : *m_fileList) {
        m_progress.setFilePosition(++position);
        if (pollAbort()) {
            aborted = true;
            break;
        }
        if (!log.error().empty())
            break;
        if (entry.Status == 0 || entry.Excluded)
            continue;
        log.AddFile(key);
        if (!entry.New) {
            log.AddChange("Deleted", TLog::ChangeStyle::Plain);
        } else if (!entry.Old) {
            log.AddChange("Created", TLog::ChangeStyle::Plain);
        } else {
            TLog::ChangeStyle style;
            const std::string text = changeText(entry, style);
            log.AddChange(text, style);
        }
    }
    if (aborted)
        log.WriteAborted();
    const std::string error = log.finish();
    if (!error.empty()) {
        reportError(error);
        return LogOutcome::Failed;
    }

    m_progress.stepPhase();
    if (m_settings.ReadBoolDef("Eject", false)) {
        if (m_env.eject)
            m_env.eject(m_root);
        else
            EjectMedia(m_root);
    }
    return aborted ? LogOutcome::Aborted : LogOutcome::Written;
}

bool RunEngine::saveResults() {
    // A file that cannot be read now keeps its last known hash in the stored state; the run has
    // counted and logged it as unreadable.
    for (auto& [key, entry] : *m_fileList)
        if (entry.New && entry.Old && isPlaceholder(*entry.New) && !entry.Old->Hash.empty() &&
            !isPlaceholder(*entry.Old))
            entry.New->Hash = entry.Old->Hash;
    std::string error;
    TFileSettings::SaveResults(m_profileName, m_fileList.get(), false, error);
    if (error.empty())
        return true;
    reportToPerson("The results could not be saved: " + error);
    return false;
}

void RunEngine::viewLogWhenAsked() {
    if (!m_settings.ReadBoolDef("DisplayLog", true))
        return;
    const bool changesOnly = m_settings.ReadBoolDef("DisplayLogChanges", true);
    if (!changesOnly || m_counts.CannotHash > 0 || m_counts.AllChanged - m_counts.ExcludedChanged > 0)
        TLog::ViewLog(m_profileName, 1, m_ui);
}

bool RunEngine::writeFinalResult() {
    const RunCounts& c = m_counts;
    std::string_view result;
    if (c.CannotHash > 0)
        result = "Errors";
    else if (c.AllChanged == 0)
        result = "No Changes";
    else if (c.AllChanged > c.ExcludedChanged)
        result = "Changes";
    else
        result = "Excluded Changes Only";
    return record("LastResult", result);
}

bool runProfileEntry(TSettings& settings, bool unattended, const OrdinaryRunner& runOrdinary, UiServices* ui,
                     Clock* clock, std::ostream* errors) {
    if (ui == nullptr)
        ui = currentUiServices();
    const SettingText type = settings.tryReadSubKeyString({}, "ProfileType");
    if (type.state == SettingState::Error) {
        showErrorBox(ui, unreadableProfileText(settings.KeyName(), type.error));
        return false;
    }
    switch (profileTypeOf(type)) {
    case 1:
        return runOrdinary(settings, unattended) == RunEnd::Finished;
    case 2:
        break;
    default:
        showErrorBox(ui, missingProfileText(settings.KeyName()));
        return false;
    }

    const std::string group = settings.KeyName();
    std::vector<std::string> valueNames;
    if (!settings.GetValueNames({}, valueNames)) {
        const SettingText again = settings.tryReadSubKeyString({}, "ProfileType");
        showErrorBox(ui, again.state == SettingState::Error ? unreadableProfileText(group, again.error)
                                                            : missingProfileText(group));
        return false;
    }
    std::vector<std::string> members;
    for (const std::string& name : valueNames)
        if (name.compare(0, 4, "Name") == 0)
            members.push_back(settings.ReadString(name));
    std::stable_sort(members.begin(), members.end(), lessIgnoringAsciiCase);

    Clock& wallClock = clock ? *clock : Clock::system();
    if (!settings.UpdateString("LastRun", formatDisplayDateTime(localDateTime(wallClock.now()))) ||
        !settings.UpdateString("LastResult", "")) {
        reportToPerson(ui, unattended, errors, unrecordedRunText(group, settings.WriteError()));
        return false;
    }

    bool finished = true;
    const TSettings root(SettingsRootKey);
    for (const std::string& member : members) {
        if (member.empty() || member.find('\\') != std::string::npos || !root.SubKeyExists(member)) {
            showErrorBox(ui, missingProfileText(member));
            finished = false;
            continue;
        }
        TSettings memberSettings(std::string(SettingsRootKey) + "\\" + member);
        const SettingText memberType = memberSettings.tryReadSubKeyString({}, "ProfileType");
        if (memberType.state == SettingState::Error || profileTypeOf(memberType) == 2) {
            showErrorBox(ui, memberType.state == SettingState::Error
                                 ? unreadableProfileText(member, memberType.error)
                                 : nestedGroupText(group, memberSettings.KeyName()));
            finished = false;
            continue;
        }
        const RunEnd end = runOrdinary(memberSettings, unattended);
        finished = finished && end == RunEnd::Finished;
        if (end == RunEnd::Aborted)
            break;
    }
    return finished;
}

std::string missingProfileText(std::string_view name) {
    return "The profile " + std::string(name) + " does not exist, or is corrupted.";
}

std::string nestedGroupText(std::string_view group, std::string_view member) {
    return "The profile " + std::string(member) + " is a group and cannot be run as a member of the group " +
           std::string(group) + ".";
}

} // namespace halcyra
