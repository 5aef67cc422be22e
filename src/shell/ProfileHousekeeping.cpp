#include "shell/ProfileHousekeeping.h"

#include "base/IOStream.h"
#include "detection/FileSettings.h"
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

bool removeIfPresent(const std::string& path) {
    return !present(path) || ::unlink(path.c_str()) == 0;
}

// Renames `from` to `to` unless `to` exists, which is never replaced.
bool renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the flag: a hard link fails on an existing target just the same.
    return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
}

// Makes `to` a copy of the regular file `from`, replaced whole or not at all.
bool copyFileReplacing(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0)
        return false;
    struct stat info {};
    std::string temp = to + ".copyXXXXXX";
    const int out =
        ::fstat(in, &info) == 0 && S_ISREG(info.st_mode) ? ::mkostemp(temp.data(), O_CLOEXEC) : -1;
    bool copied = out >= 0;
    char block[65536];
    while (copied) {
        const ssize_t got = ::read(in, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        copied = writeAll(out, block, static_cast<std::size_t>(got));
    }
    ::close(in);
    if (out >= 0) {
        copied = copied && ::fsync(out) == 0;
        copied = ::close(out) == 0 && copied;
        copied = copied && ::rename(temp.c_str(), to.c_str()) == 0;
        if (!copied)
            ::unlink(temp.c_str());
    }
    return copied;
}

std::uint8_t profileTypeOf(RegistryStore& store, const std::string& key) {
    const RegValueRead type = store.queryValue(key, "ProfileType");
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
template <typename Change> bool inTransaction(Change&& change) {
    std::unique_ptr<RegistryStore> store = RegistryStore::open();
    if (!store)
        return false;
    RegTransaction transaction(*store);
    return transaction.status() == RegStatus::Ok && change(*store) && transaction.commit() == RegStatus::Ok;
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

bool ProfileHousekeeping::moveKey(const std::string& from, const std::string& to) {
    return inTransaction([&](RegistryStore& store) {
        if (store.keyExists(profileKey(to)) != RegStatus::NotFound ||
            store.copyKeyTree(profileKey(from), profileKey(to), true) != RegStatus::Ok)
            return false;
        // Every group that names the profile names it by its new name.
        const RegNameList profiles = store.subKeyNames(m_root.Key());
        if (profiles.status != RegStatus::Ok)
            return false;
        for (const std::string& profile : profiles.names) {
            const std::string key = profileKey(profile);
            if (profileTypeOf(store, key) != 2)
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

bool ProfileHousekeeping::copyKey(const std::string& from, const std::string& to) {
    return inTransaction([&](RegistryStore& store) {
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
    if (!moveKey(old, *name)) {
        showError(m_ui, "Sorry, the profile could not be renamed!");
        return true;
    }
    renameFiles(old, *name);
    runLock.release();
    newLock.release();
    if (scheduled)
        reviewSchedule(old, *name);
    return true;
}

void ProfileHousekeeping::renameFiles(const std::string& from, const std::string& to) {
    for (const DataFile& file : DataFiles) {
        const std::string source = file.name(from);
        const std::string target = file.name(to);
        // What another profile left under the new name is no part of this one.
        bool renamed = removeIfPresent(target);
        if (present(source))
            renamed = renamed && renameNoReplace(source, target);
        if (!renamed)
            showError(m_ui, file.renameFailed);
    }
    TLog::DeleteLogs(to);
    const std::optional<std::string> firstPage = TLog::LogFileName(from, 1);
    if (firstPage && present(*firstPage) && !TLog::RenameLogs(from, to))
        showError(m_ui, "Sorry, the old log files could not be renamed!");
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
    ProfileRunLock runLock;
    if (!lock(runLock, source))
        return false;
    if (!copyKey(source, *name)) {
        showError(m_ui, "Sorry, the profile could not be copied!");
        return true;
    }
    copyFiles(source, *name);
    return true;
}

void ProfileHousekeeping::copyFiles(const std::string& from, const std::string& to) {
    for (const DataFile& file : DataFiles) {
        const std::string source = file.name(from);
        const std::string target = file.name(to);
        const bool copied = present(source) ? copyFileReplacing(source, target) : removeIfPresent(target);
        if (!copied)
            showError(m_ui, file.copyFailed);
    }
    TLog::DeleteLogs(to);
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
        // The profile it replaces, in its stored spelling, whose log pages go with it.
        std::string replaced;
        std::vector<std::string> profiles;
        m_root.GetSubKeyNames(profiles);
        for (const std::string& profile : profiles)
            if (sameProfileName(profile, name))
                replaced = profile;
        if (!replaced.empty()) {
            const MessageButton answer =
                askYesNoCancel(m_ui, "You already have a profile called \"" + name +
                                         "\". Are you sure you want to replace your existing profile?");
            if (answer == ButtonCancel)
                break;
            if (answer != ButtonYes)
                continue;
        }
        if (!TFileSettings::ImportProfile(file, error)) {
            showError(m_ui, error);
            continue;
        }
        TLog::DeleteLogs(name);
        if (!replaced.empty() && replaced != name)
            TLog::DeleteLogs(replaced);
        markImported(name);
    }
    return true;
}

void ProfileHousekeeping::markImported(const std::string& name) {
    const bool marked = inTransaction([&](RegistryStore& store) {
        const RegStatus status = store.deleteValue(profileKey(name), "LastRun");
        return (status == RegStatus::Ok || status == RegStatus::NotFound) &&
               store.setString(profileKey(name), "LastResult", "Imported") == RegStatus::Ok;
    });
    if (!marked)
        showError(m_ui, "Unable to import profile \"" + name + "\": its last result could not be stored.");
}

} // namespace halcyra
