#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TSettings;
class UiServices;

// The main window's commands that move profiles: rename, copy, export to an archive and import from archives.
// `root` is the settings object on the program's root key; profiles are its sub-keys. Selected names come in
// list order, from the top down, in their stored spelling. Each command that can change profiles returns
// whether the profile list must be reloaded. Rename, copy and import take the profile's run lock: while a run
// of it is in progress they are refused with the lock's text. Nothing here throws except std::bad_alloc.
class ProfileHousekeeping {
public:
    using ScheduleEditor = std::function<void(std::string_view profileName, std::string_view extraParams)>;

    ProfileHousekeeping(TSettings& root, UiServices& ui, ScheduleEditor editSchedule);

    // Renames the first selected profile: its key (with the member values of every group that names it) in
    // one step, then its results file, exclusion lists and log pages, each failure in its own box; a
    // scheduled profile then has its schedule window opened on the old name. Files left under the new name
    // by a profile deleted earlier are removed first; no existing file is ever overwritten by a rename.
    bool aRenameExecute(const std::vector<std::string>& selected);

    // Copies the first selected profile under a new name without its last run and result, its schedule and
    // group memberships: the copy's data files equal the source's (files the source lacks are removed), and
    // it has no log pages.
    bool aCopyExecute(const std::vector<std::string>& selected);

    // Asks for an archive file for each selected profile and writes it; a cancelled dialog goes on with the
    // next profile.
    void aExportProfileExecute(const std::vector<std::string>& selected);

    // Asks for archive files and imports each, asking before a profile of the same name is replaced (Cancel
    // ends the command). An imported profile has no log pages, no last run and the result "Imported".
    bool aImportProfileExecute();

private:
    std::string profileKey(std::string_view name) const;
    bool moveKey(const std::string& from, const std::string& to);
    bool copyKey(const std::string& from, const std::string& to);
    bool lock(class ProfileRunLock& lock, const std::string& name);
    void renameFiles(const std::string& from, const std::string& to);
    void copyFiles(const std::string& from, const std::string& to);
    void reviewSchedule(const std::string& from, const std::string& to);
    void markImported(const std::string& name);

    TSettings& m_root;
    UiServices& m_ui;
    ScheduleEditor m_editSchedule;
};

} // namespace halcyra
