#include "shell/ProfileHousekeeping.h"

#include "base/IOStream.h"
#include "detection/FileSettings.h"
#include "detection/HousekeepingJournal.h"
#include "detection/Log.h"
#include "detection/ProfileRunLock.h"
#include "platform/MessageBoxes.h"
#include "platform/RegistryStore.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/Settings.h"
#include "shell/GroupMembers.h"
#include "shell/ProfileName.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>

namespace halcyra {

namespace {

constexpr std::string_view ArchiveFilter = "Halcyra settings (*.hcs);;All files (*)";
constexpr std::string_view ArchiveSuffix = "hcs";

using DataFileName = std::string (*)(std::string_view);

// A profile's data files with the boxes for a failed rename and a failed copy of each.
struct DataFile {
    DataFileName name;
    std::string_view renameFailed;
    std::string_view copyFailed;
};
constexpr std::array<DataFile, 3> DataFiles = {{
    {&TFileSettings::ResultsFileName, "Sorry, the old results file list could not be renamed!",
     "Sorry, the old results file list could not be copied!"},
    {&TFileSettings::ExclusionFileName, "Sorry, the old file exceptions file list could not be renamed!",
     "Sorry, the old file exceptions file list could not be copied!"},
    {&TFileSettings::ExclusionDirFileName, "Sorry, the old directory exceptions file could not be renamed!",
     "Sorry, the old directory exceptions file list could not be copied!"},
}};

// Whether `path` names a file (or anything else that is not missing).
bool present(const std::string& path) {
    return !path.empty() && fileExists(path);
}

// A copy of a data file in a locked temporary "<target>.copyXXXXXX" beside its target, synced; the lock
// (and the file, unless a journal step has renamed it) goes with the object.
class StagedCopy {
public:
    StagedCopy() = default;
    ~StagedCopy() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StagedCopy(const StagedCopy&) = delete;
    StagedCopy& operator=(const StagedCopy&) = delete;

    // Copies the regular file `from`; false when it could not be read, written or synced whole, with no
    // temporary left.
    bool make(const std::string& from, const std::string& target) {
        const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (in < 0)
            return false;
        struct stat info {};
        m_path = target + ".copyXXXXXX";
        m_fd = ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) ? createLockedFile(m_path) : -1;
        bool copied = m_fd >= 0;
        char block[65536];
        while (copied) {
            const ssize_t got = ::read(in, block, sizeof block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                copied = got == 0;
                break;
            }
            copied = writeAll(m_fd, block, static_cast<std::size_t>(got));
        }
        ::close(in);
        copied = copied && ::fsync(m_fd) == 0;
        if (!copied && m_fd >= 0) {
            ::unlink(m_path.c_str());
            ::close(m_fd);
            m_fd = -1;
        }
        return copied;
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    int m_fd = -1;
};

// The profile type stored under `key` (0 when there is none), or nothing when the store cannot be read.
std::optional<std::uint8_t> profileTypeOf(RegistryStore& store, const std::string& key) {
    const RegValueRead type = store.queryValue(key, "ProfileType");
    if (type.status == RegStatus::Error)
        return std::nullopt;
    if (type.status != RegStatus::Ok || type.type != REG_SZ)
        return 0;
    return static_cast<std::uint8_t>(integerFromText(type.data).value_or(0) & 0xFF);
}

// Text of a string value as the settings readers see it: up to its first NUL.
std::string_view valueText(const RegValue& value) {
    return std::string_view(value.data).substr(0, value.data.find('\0'));
}

// Runs `change` on the user's store in one transaction; false when the store cannot be opened, `change`
// fails or the commit fails, with nothing changed.
// The journal's mark is part of the same transaction.
template <typename Change> bool inTransaction(HousekeepingJournal& journal, Change&& change) {
    std::unique_ptr<RegistryStore> store = RegistryStore::open();
    if (!store)
        return false;
    RegTransaction transaction(*store);
    return transaction.status() == RegStatus::Ok && change(*store) && journal.mark(*store) == RegStatus::Ok &&
           transaction.commit() == RegStatus::Ok;
}

} // namespace

ProfileHousekeeping::ProfileHousekeeping(TSettings& root, UiServices& ui, ScheduleEditor editSchedule)
    : m_root(root), m_ui(ui), m_editSchedule(std::move(editSchedule)) {}

std::string ProfileHousekeeping::profileKey(std::string_view name) const {
    return m_root.Key() + "\\" + std::string(name);
}

bool ProfileHousekeeping::lock(ProfileRunLock& lock, const std::string& name) {
    std::string error;
    if (lock.acquire(name, error) == ProfileRunLock::Outcome::Acquired)
        return true;
    showError(m_ui, error);
    return false;
}

bool ProfileHousekeeping::moveKey(const std::string& from, const std::string& to,
                                  HousekeepingJournal& journal) {
    return inTransaction(journal, [&](RegistryStore& store) {
        if (store.keyExists(profileKey(to)) != RegStatus::NotFound ||
            store.copyKeyTree(profileKey(from), profileKey(to), true) != RegStatus::Ok)
            return false;
        // Every group that names the profile names it by its new name.
        const RegNameList profiles = store.subKeyNames(m_root.Key());
        if (profiles.status != RegStatus::Ok)
            return false;
        for (const std::string& profile : profiles.names) {
            const std::string key = profileKey(profile);
            const std::optional<std::uint8_t> type = profileTypeOf(store, key);
            if (!type)
                return false;
            if (*type != 2)
                continue;
            std::vector<RegValue> values;
            if (store.listValues(key, values) != RegStatus::Ok)
                return false;
            for (const RegValue& value : values)
                if (value.type == REG_SZ && isGroupMemberValue(value.name) &&
                    sameProfileName(valueText(value), from) &&
                    store.setString(key, value.name, to) != RegStatus::Ok)
                    return false;
        }
        return true;
    });
}

bool ProfileHousekeeping::copyKey(const std::string& from, const std::string& to,
                                  HousekeepingJournal& journal) {
    return inTransaction(journal, [&](RegistryStore& store) {
        if (store.keyExists(profileKey(to)) != RegStatus::NotFound ||
            store.copyKeyTree(profileKey(from), profileKey(to), false) != RegStatus::Ok)
            return false;
        for (const char* name : {"LastRun", "LastResult"}) {
            const RegStatus status = store.deleteValue(profileKey(to), name);
            if (status != RegStatus::Ok && status != RegStatus::NotFound)
                return false;
        }
        return true;
    });
}

bool ProfileHousekeeping::aRenameExecute(const std::vector<std::string>& selected) {
    if (selected.empty() || selected.front().empty())
        return false;
    const std::string old = selected.front();
    bool shared = false;
    const bool scheduled = IsProfileScheduled(old, shared);
    const std::optional<std::string> name = askProfileName(m_ui, m_root, "Rename " + old, "New Name");
    if (!name)
        return false;
    ProfileRunLock runLock, newLock;
    if (!lock(runLock, old) || !lock(newLock, *name))
        return false;
    HousekeepingJournal journal({old, *name});
    prepareRename(old, *name, journal);
    std::string error;
    if (!journal.write(error) || !moveKey(old, *name, journal)) {
        showError(m_ui, "Sorry, the profile could not be renamed!");
        return true;
    }
    finish(journal);
    runLock.release();
    newLock.release();
    if (scheduled)
        reviewSchedule(old, *name);
    return true;
}

void ProfileHousekeeping::prepareRename(const std::string& from, const std::string& to,
                                        HousekeepingJournal& journal) {
    using Step = HousekeepingJournal::StepKind;
    for (const DataFile& file : DataFiles) {
        const std::string source = file.name(from);
        const std::string target = file.name(to);
        // What another profile left under the new name is no part of this one, and is never overwritten.
        const bool cleared = !present(target) || ::unlink(target.c_str()) == 0;
        HousekeepingJournal::reachStep();
        if (!cleared)
            showError(m_ui, file.renameFailed);
        else if (present(source))
            journal.add(Step::Rename, source, target, std::string(file.renameFailed));
    }
    TLog::DeleteLogs(to);
    HousekeepingJournal::reachStep();
    const std::optional<std::string> firstPage = TLog::LogFileName(from, 1);
    if (firstPage && present(*firstPage))
        journal.add(Step::RenameLogs, from, to, "Sorry, the old log files could not be renamed!");
}

void ProfileHousekeeping::finish(HousekeepingJournal& journal) {
    std::vector<std::string> failures;
    if (!journal.finish(failures))
        for (const std::string& failure : failures)
            showError(m_ui, failure);
}

void ProfileHousekeeping::reviewSchedule(const std::string& from, const std::string& to) {
    TSchedTask task;
    bool shared = false;
    std::string error;
    if (!FindProfileTask(from, task, shared, error)) {
        showError(m_ui,
                  "Sorry, the scheduled task could not be edited to allow you to change the profile name!");
        return;
    }
    if (shared)
        showInformation(m_ui,
                        "The profiles scheduled task is shared with other profiles. Please now edit the "
                        "schedule to use the new profile name (" +
                            to + ") or delete the schedule.");
    else
        showInformation(m_ui,
                        "This profile has a schedule. The schedule is currently configured to run using "
                        "the old profile name (" +
                            from + "). Please now edit the schedule to use the new profile name (" + to +
                            ") or delete the schedule.");
    if (m_editSchedule)
        m_editSchedule(from, {});
}

bool ProfileHousekeeping::aCopyExecute(const std::vector<std::string>& selected) {
    if (selected.empty() || selected.front().empty())
        return false;
    const std::string source = selected.front();
    const std::optional<std::string> name = askProfileName(m_ui, m_root, "Copy " + source, "Copies Name");
    if (!name)
        return false;
    ProfileRunLock runLock, newLock;
    if (!lock(runLock, source) || !lock(newLock, *name))
        return false;
    // The copies are made before the key, and take their places after it.
    using Step = HousekeepingJournal::StepKind;
    HousekeepingJournal journal({source, *name});
    std::array<StagedCopy, DataFiles.size()> copies;
    for (std::size_t i = 0; i < DataFiles.size(); ++i) {
        const std::string from = DataFiles[i].name(source);
        const std::string target = DataFiles[i].name(*name);
        if (!present(from)) {
            journal.add(Step::Remove, target, {}, std::string(DataFiles[i].copyFailed));
        } else if (copies[i].make(from, target)) {
            journal.stage(copies[i].path());
            journal.add(Step::Rename, copies[i].path(), target, std::string(DataFiles[i].copyFailed));
        } else {
            showError(m_ui, DataFiles[i].copyFailed);
        }
        HousekeepingJournal::reachStep();
    }
    journal.add(Step::DeleteLogs, *name);
    std::string error;
    if (!journal.write(error) || !copyKey(source, *name, journal)) {
        showError(m_ui, "Sorry, the profile could not be copied!");
        return true;
    }
    finish(journal);
    return true;
}

void ProfileHousekeeping::aExportProfileExecute(const std::vector<std::string>& selected) {
    for (const std::string& name : selected) {
        const FileDialogRequest request{"Export profile: " + name, name + ".hcs", std::string(ArchiveFilter),
                                        std::string(ArchiveSuffix)};
        const std::optional<std::string> file = m_ui.saveFileName(request);
        if (!file)
            continue;
        std::string error;
        if (!TFileSettings::ExportProfile(name, *file, error))
            showError(m_ui, error);
    }
}

bool ProfileHousekeeping::aImportProfileExecute() {
    const std::vector<std::string> files =
        m_ui.openFileNames({"Import profiles", {}, std::string(ArchiveFilter), std::string(ArchiveSuffix)});
    if (files.empty())
        return false;
    for (const std::string& file : files) {
        std::string name;
        std::string error;
        if (!TFileSettings::CheckProfileFile(file, name, error)) {
            showError(m_ui, error);
            continue;
        }
        // A profile of that name in any letter case is replaced only when the user says so; a list that
        // cannot be read ends the command, since nothing may be replaced unasked.
        const SettingNames profiles = m_root.trySubKeyNames();
        if (profiles.state == SettingState::Error) {
            showError(m_ui, "Unable to import profile \"" + name + "\": " + profiles.error);
            break;
        }
        if (std::any_of(profiles.names.begin(), profiles.names.end(),
                        [&](const std::string& profile) { return sameProfileName(profile, name); })) {
            const MessageButton answer =
                askYesNoCancel(m_ui, "You already have a profile called \"" + name +
                                         "\". Are you sure you want to replace your existing profile?");
            if (answer == ButtonCancel)
                break;
            if (answer != ButtonYes)
                continue;
        }
        if (!TFileSettings::ImportProfile(file, error))
            showError(m_ui, error);
    }
    return true;
}

void recoverInterruptedHousekeeping(UiServices& ui) {
    std::vector<std::string> failures;
    HousekeepingJournal::recoverAll(failures);
    for (const std::string& failure : failures)
        showError(ui, failure);
}

} // namespace halcyra
