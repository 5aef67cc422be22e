#pragma once

#include "detection/ProfileRunLock.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class RegistryStore;
enum class RegStatus;

// The journal of one housekeeping command (import, rename, copy) that changes profile keys and their data
// files together, so that a process that dies at any instant leaves the profiles wholly as they were or
// wholly as the command makes them.
//
// A command takes the run locks of every profile it names, stages what it brings (in a private folder or
// as locked temporaries, all synced), lists the staged paths and the file steps that follow its store
// commit, writes the journal (write()) and commits its store change in one transaction together with
// mark(). finish() then does the steps, clears the mark and removes the journal and the staged paths.
// Every step can be repeated: a rename whose source is gone was done, a removal of a missing file is done.
// recoverAll()/recoverFor() look at a journal left by a killed process: with its mark in the store they
// finish it, without it (the commit never happened) they remove what it staged. A journal destroyed
// unwritten or uncommitted removes its staged paths and its file.
class HousekeepingJournal {
public:
    enum class StepKind { Rename, Remove, RenameLogs, DeleteLogs };
    struct Step {
        StepKind kind;
        std::string from;        // the file, or the profile whose log pages move or go
        std::string to;          // Rename, RenameLogs: the new name (a rename replaces a file there)
        std::string failureText; // what the command reports when the step fails; not journalled
    };

    explicit HousekeepingJournal(std::vector<std::string> profiles);
    ~HousekeepingJournal();
    HousekeepingJournal(const HousekeepingJournal&) = delete;
    HousekeepingJournal& operator=(const HousekeepingJournal&) = delete;

    void stage(std::string path) { m_staged.push_back(std::move(path)); }
    void add(StepKind kind, std::string from, std::string to = {}, std::string failureText = {});

    // Writes the journal file, synced; false with `errorText` set when it cannot.
    bool write(std::string& errorText);
    // Records, inside the caller's open store transaction, that the command has committed.
    RegStatus mark(RegistryStore& store);
    // After the caller's commit: does every step, clears the mark and removes the journal and what was
    // staged. False when anything failed; the failed steps' failure texts (or a text naming the file and
    // the reason) go to `failures`, and the journal stays for recovery to complete.
    bool finish(std::vector<std::string>& failures);

    // Completes or undoes every interrupted command whose journal is in the data folder and whose profiles'
    // locks are free, then removes the private leftovers (staging folders, copy temporaries) that no live
    // process holds and no remaining journal needs. Each failure adds a text to `failures`; its journal
    // stays for the next try.
    static void recoverAll(std::vector<std::string>& failures);
    // The same for the journals that name `profile`, whose run lock the caller holds. Busy (with the lock's
    // text) when such a journal names a profile whose run lock another holder has; Failed when one could
    // not be completed or undone.
    static ProfileRunLock::Outcome recoverFor(std::string_view profile, std::string& errorText);

    // Called at every file and store step of a command; tests stop the process there.
    static std::function<void()>& stepHook();
    static void reachStep();

private:
    static bool recoverOne(const std::string& path, std::string_view heldProfile, std::string& errorText,
                           bool& busy);
    static bool runSteps(const std::vector<Step>& steps, std::vector<std::string>& failures);
    static void removeStaged(const std::vector<std::string>& staged);

    std::string m_id;
    std::string m_path;
    std::vector<std::string> m_profiles;
    std::vector<std::string> m_staged;
    std::vector<Step> m_steps;
    bool m_written = false;
    bool m_committed = false;
};

} // namespace halcyra
