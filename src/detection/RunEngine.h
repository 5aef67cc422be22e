#pragma once

#include "base/DateTime.h"
#include "detection/FileKey.h"
#include "detection/TreeScan.h"
#include "hashing/HashPool.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace halcyra {

class Clock;
class FileSystem;
class TSettings;
class UiServices;

// What a run shows while it works. Every call comes from the thread that runs the profile; the
// implementation may throttle what it draws, but processEvents() is called for every file.
class RunProgress {
public:
    virtual ~RunProgress() = default;

    // The run has begun: the profile's name and the text of its previous run ("Never" when none).
    virtual void runStarted(std::string_view /*profileName*/, std::string_view /*lastRun*/) {}
    virtual void setStatus(std::string_view /*text*/) {}
    // True while the run can be aborted (Abort enabled, busy cursor shown); false again on every exit.
    virtual void setActive(bool /*active*/) {}
    // One phase of the run finished; a completed run finishes seven.
    virtual void stepPhase() {}
    // Per-file progress of hashing, comparing and logging: its maximum, then its position.
    virtual void setFileRange(int /*maximum*/) {}
    virtual void setFilePosition(int /*position*/) {}
    // The folder being scanned or the relative name of the file at hand.
    virtual void setFileName(std::string_view /*name*/) {}
    virtual void setFileNameVisible(bool /*visible*/) {}
    // Serves pending interface events (an Abort click among them). True asks the run to stop as a
    // confirmed abort would.
    virtual bool processEvents() { return false; }
    // Whether processEvents() is also to be called while one file is hashed (every few MiB or tens of
    // milliseconds), so that an abort is answered inside a large file. Runs without a person pass no poll.
    virtual bool pollsInsideFiles() const { return false; }
};

// The eight counts of a run. The first six count files that are not excluded; one file may count in
// several of them. AllChanged counts every entry with a non-zero status, ExcludedChanged the excluded
// ones among them.
struct RunCounts {
    int ContentsChanged = 0;
    int Created = 0;
    int Deleted = 0;
    int DateTimeChanged = 0;
    int SizeChanged = 0;
    int CannotHash = 0;
    int AllChanged = 0;
    int ExcludedChanged = 0;
};

// Services a run uses besides the settings store and the data folder; a null member means the real one.
struct RunEnvironment {
    UiServices* ui = nullptr;         // null: currentUiServices(); none installed: nothing is shown
    Clock* clock = nullptr;           // start and finish times, and the scanner's retry wait
    FileSystem* fileSystem = nullptr; // the scanner's folder listings
    std::function<bool(const std::string& path)> eject; // empty: EjectMedia
    // How the files found under a folder are hashed; empty: hashPlanFor. With one thread each file is
    // hashed on the run's thread after the scan; with more, files are hashed while the scan goes on.
    std::function<HashPlan(const std::string& folder)> hashPlan;
    // Where an unattended run writes, one line each, the failures a box would have shown in an interactive
    // run; null: standard error.
    std::ostream* errors = nullptr;
};

// How a run of a profile ended.
enum class RunEnd {
    Finished, // ran to its end: LastResult "No Changes", "Changes", "Excluded Changes Only" or "Errors", and
              // every write of its bookkeeping succeeded
    Failed,   // could not run, or ended otherwise (an error was reported)
    Aborted,  // the user confirmed an abort
};

// Runs one ordinary profile: records the start in the profile's key, loads the stored results, scans
// and hashes the profile's folder, marks excluded files, classifies and counts the changes, lets the
// user review them (interactive runs), writes the HTML log, ejects the medium when asked, stores the
// new state when that is decided, opens the log when asked and writes the final `LastResult`.
// Failures are shown through the UI services as the run's own texts (an unattended run writes those that
// need a person to RunEnvironment::errors instead); a failed write of LastRun, LastResult or the exclusion
// list is such a failure, and a run that cannot record its start stores nothing. A profile whose name breaks
// the profile-name rule is refused before anything is read or written. Nothing throws out of Run() except
// std::bad_alloc. Only one run of a profile can be in progress at a time, across processes.
class RunEngine {
public:
    // Reads the profile's name and folder and loads its file exclusion list (a load error is shown
    // unless `unattended`). `settings` and `progress` are not owned and must outlive the engine; a
    // null `progress` shows nothing.
    RunEngine(TSettings& settings, bool unattended, RunProgress* progress = nullptr,
              RunEnvironment environment = {});
    ~RunEngine();
    RunEngine(const RunEngine&) = delete;
    RunEngine& operator=(const RunEngine&) = delete;

    // Performs the whole run once; a call while a run is in progress, or after one, does nothing.
    void Run();

    // The Abort button: asks "Are you sure you want to abort?" and marks the run aborted on Yes; once
    // marked, says "Already attempting to abort. Please be patient." instead.
    void RequestAbort();

    const std::string& ProfileName() const { return m_profileName; }
    const std::string& Source() const { return m_source; }
    bool Unattended() const { return m_unattended; }
    bool Aborted() const { return m_aborted; }
    bool Running() const { return m_running; }
    // Whether Run() has been called.
    bool Started() const { return m_started; }
    // How the run ended; Failed until it has.
    RunEnd Outcome() const { return m_outcome; }
    const RunCounts& Counts() const { return m_counts; }
    // The run's entries; null before the run has loaded them.
    const CompareList* FileList() const { return m_fileList.get(); }
    const KeySet& Exclusions() const { return m_exclusions; }
    TDateTimeSecs StartTime() const { return m_startTime; }
    TDateTimeSecs FinishTime() const { return m_finishTime; }

private:
    enum class LogOutcome { Written, Aborted, Failed };

    bool runStepsCompleted();
    bool scanAndHash();
    bool findChanges();
    bool decideStore();
    LogOutcome buildLog();
    bool saveResults();
    void viewLogWhenAsked();
    bool writeFinalResult();

    bool pollAbort();
    void reportError(std::string_view text);
    // A failure the run shows only to a person: a box in an interactive run, a line on `errors` otherwise.
    void reportToPerson(std::string_view text);
    // Writes one bookkeeping value of the profile; a failure is reported and marks the run failed.
    bool record(std::string_view name, std::string_view value);
    // Whether the profile's key is still there; when it was deleted, says so and marks the run failed.
    bool stillStored();
    void setStatus(std::string_view text);
    TDateTimeSecs now() const;

    TSettings& m_settings;
    bool m_unattended;
    RunProgress& m_progress;
    RunEnvironment m_env;
    UiServices* m_ui;

    std::string m_profileName;
    std::string m_nameProblem; // why the profile's name cannot be run; empty when it can
    std::string m_readError;   // why the profile's values could not be read; empty when they could
    std::string m_source;
    std::string m_root; // the folder where the scanner found the files, with a trailing '/'
    std::unique_ptr<CompareList> m_fileList;
    KeySet m_exclusions;
    TDateTimeSecs m_startTime = 0;
    TDateTimeSecs m_finishTime = 0;
    RunCounts m_counts;
    RunEnd m_outcome = RunEnd::Failed;
    bool m_bookkeepingFailed = false;
    bool m_aborted = false;
    bool m_running = false;
    bool m_started = false;
};

// Runs one ordinary profile and tells how it ended: a run window in the program, an engine driven directly
// in tests.
using OrdinaryRunner = std::function<RunEnd(TSettings& settings, bool unattended)>;

// Runs the profile whose key `settings` is bound to: an ordinary profile (ProfileType 1) through
// `runOrdinary`; a group (ProfileType 2) by running its members one after the other in name order,
// stopping after a member that was aborted; anything else is reported as a profile that "does not
// exist, or is corrupted", in every mode, and a store that cannot be read with the store's reason. A member
// that is no existing profile is reported the same way and skipped, as is a member that is itself a group.
// Returns true when the profile, and for a group every member, ran to its end (RunEnd::Finished) and
// nothing was reported. The caller keeps `settings`.
// `errors` takes what an unattended run writes instead of a box (null: standard error).
bool runProfileEntry(TSettings& settings, bool unattended, const OrdinaryRunner& runOrdinary,
                     UiServices* ui = nullptr, Clock* clock = nullptr, std::ostream* errors = nullptr);

// The message for a profile name that names no usable profile.
std::string missingProfileText(std::string_view name);

// The message for a group member that is itself a group.
std::string nestedGroupText(std::string_view group, std::string_view member);

} // namespace halcyra
