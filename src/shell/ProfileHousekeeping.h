#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class HousekeepingJournal;
class TSettings;
class UiServices;

// The main window's commands that move profiles: rename, copy, export to an archive and import from archives.
// `root` is the settings object on the program's root key; profiles are its sub-keys. Selected names come in
// list order, from the top down, in their stored spelling. Each command that can change profiles returns
// whether the profile list must be reloaded. Rename, copy and import take the run locks of every profile
// they name: while a run of one is in progress they are refused with the lock's text. Each keeps a
// HousekeepingJournal, so a process killed at any instant leaves the profiles wholly as they were or wholly
// changed once the journal is recovered. Nothing here throws except std::bad_alloc.
class ProfileHousekeeping {
public:
    using ScheduleEditor = std::function<void(std::string_view profileName, std::string_view extraParams)>;

    ProfileHousekeeping(TSettings& root, UiServices& ui, ScheduleEditor editSchedule);

    // Renames the first selected profile: its key (with the member values of every group that names it) in
    // one step, then its results file, exclusion lists and log pages, each failure in its own box; a
    // scheduled profile then has its schedule window opened on the old name. Files and log pages left under
    // the new name by a profile deleted earlier are removed before the key moves; a file whose leftover
    // cannot be removed keeps its old name.
    bool aRenameExecute(const std::vector<std::string>& selected);

    // Copies the first selected profile under a new name without its last run and result, its schedule and
    // group memberships: the copy's data files equal the source's (files the source lacks are removed), and
    // it has no log pages. The files are copied and synced before the key is made; one that cannot be
    // copied is reported and does not replace what is there.
    bool aCopyExecute(const std::vector<std::string>& selected);

    // Asks for an archive file for each selected profile and writes it; a cancelled dialog goes on with the
    // next profile.
    void aExportProfileExecute(const std::vector<std::string>& selected);

    // Asks for archive files and imports each, asking before a profile of the same name is replaced (Cancel
    // ends the command; so does a profile list that cannot be read). An imported profile has no log pages,
    // no last run and the result "Imported".
    bool aImportProfileExecute();

private:
    std::string profileKey(std::string_view name) const;
    bool moveKey(const std::string& from, const std::string& to, HousekeepingJournal& journal);
    bool copyKey(const std::string& from, const std::string& to, HousekeepingJournal& journal);
    bool lock(class ProfileRunLock& lock, const std::string& name);
    void prepareRename(const std::string& from, const std::string& to, HousekeepingJournal& journal);
    void finish(HousekeepingJournal& journal);
    void reviewSchedule(const std::string& from, const std::string& to);

    TSettings& m_root;
    UiServices& m_ui;
    ScheduleEditor m_editSchedule;
};

// At program start: completes or undoes every rename, copy or import that a killed process left unfinished
// and removes the private leftovers of such commands; each one that cannot be resolved now is shown in an
// error box (standard error when headless) and tried again at the next start or use of its profiles.
void recoverInterruptedHousekeeping(UiServices& ui);

} // namespace halcyra
