#include "shell/OldSettings.h"

#include "base/AsciiCase.h"
#include "base/IOStream.h"
#include "base/ProfileNameRule.h"
#include "detection/CommaText.h"
#include "detection/FileSettings.h"
#include "platform/RegistryStore.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

namespace halcyra {

namespace {

// The profile name of the old results file.
constexpr std::string_view OldResultsProfile = "Halcyra";
// Room kept below the name limit for the " <n>" of a variant.
constexpr std::size_t MaxBaseBytes = 190;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDrive(std::string_view folder) {
    return folder.size() == 2 && folder[1] == ':' &&
           ((folder[0] >= 'A' && folder[0] <= 'Z') || (folder[0] >= 'a' && folder[0] <= 'z'));
}

// A folder written the Windows way: its '\' separate components and start with a drive or a '\'.
bool isWindowsFolder(std::string_view folder) {
    return folder.find('\\') != std::string_view::npos ||
           (folder.size() >= 2 && isDrive(folder.substr(0, 2)));
}

// Whether two folder texts name one folder: Windows-style folders fold ASCII letter case, Linux folders
// (whose names are case-sensitive) are compared exactly.
bool sameFolderText(std::string_view left, std::string_view right) {
    return isWindowsFolder(right) ? equalsIgnoringAsciiCase(left, right) : left == right;
}

bool lessIgnoringCase(const std::string& left, const std::string& right) {
    return orderIgnoringAsciiCase(left, right) < 0;
}

bool containsIgnoringCase(const std::vector<std::string>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(),
                       [name](const std::string& taken) { return equalsIgnoringAsciiCase(name, taken); });
}

// The part of `path` below `folder` as a relative file key ("/sub/name"), or empty when `path` does not lie
// inside `folder`.
std::string keyInside(std::string_view path, std::string_view folder) {
    const bool windows = isWindowsFolder(folder);
    std::size_t start = folder.size();
    if (isSeparator(folder.back()))
        --start; // a root folder keeps its separator
    if (path.size() <= start + 1 || !sameFolderText(path.substr(0, folder.size()), folder))
        return {};
    const char separator = path[start];
    if (separator != '/' && !(windows && separator == '\\'))
        return {};
    std::string key(path.substr(start));
    if (windows)
        std::replace(key.begin(), key.end(), '\\', '/');
    return key;
}

// Keeps the first `bytes` bytes of `text`, never cutting a UTF-8 sequence.
void cutUtf8(std::string& text, std::size_t bytes) {
    if (text.size() <= bytes)
        return;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    text.resize(bytes);
}

// Deletes, or with `keep` renames to the first free "<file>.bak", "<file>.bak2", ...; false with `error`.
bool retireFile(const std::string& file, bool keep, std::string& error) {
    if (!keep) {
        if (std::remove(file.c_str()) == 0)
            return true;
        error = "Cannot delete the file " + file + ": " + systemMessage(errno);
        return false;
    }
    std::string target = file + ".bak";
    for (int n = 2; fileExists(target); ++n)
        target = file + ".bak" + std::to_string(n);
    if (std::rename(file.c_str(), target.c_str()) == 0)
        return true;
    error = "Cannot rename the file " + file + ": " + systemMessage(errno);
    return false;
}

class Converter {
public:
    explicit Converter(TSettings& root) : m_root(root) {}

    // The new profiles' data files are written first, under names no file had; then every profile, the
    // group and the removal of the old values are stored in one transaction, so a failure (or a kill)
    // before it leaves the old settings for the next start, with nothing stored beside them.
    OldSettingsConversion run() {
        OldSettingsConversion outcome;
        std::string error;
        if (!readRoot(error)) {
            outcome.errors.push_back("The old settings could not be read: " + error);
            return outcome; // nothing changed: tried again at the next start
        }
        const std::vector<std::string> folders = oldFolderList(m_directories);
        outcome.converted = !folders.empty();
        std::vector<std::string> readFiles;
        if (outcome.converted) {
            planNames(folders);
            distributeResults(folders, readFiles, outcome.errors);
            distributeExclusions(folders, readFiles, outcome.errors);
        }
        if (!storeProfiles(folders, error)) {
            outcome.errors.push_back(outcome.converted ? error
                                                       : "The old settings could not be removed: " + error);
            for (const std::string& name : m_profileOf)
                for (const std::string& file :
                     {TFileSettings::ResultsFileName(name), TFileSettings::ExclusionFileName(name)})
                    std::remove(file.c_str());
            return outcome; // the old values stay for the next attempt
        }
        const bool keep = !outcome.errors.empty();
        for (const std::string& file : readFiles)
            if (!retireFile(file, keep, error))
                outcome.errors.push_back(error);
        return outcome;
    }

private:
    std::string keyOf(std::string_view name) const { return m_root.Key() + "\\" + std::string(name); }

    // Reads the old values and the names of the existing keys; false with the store's reason when one of
    // them could not be read (a value that only seems missing would have the old settings deleted, a key
    // that only seems free would have a profile overwritten).
    bool readRoot(std::string& error) {
        const SettingText directories = m_root.tryReadSubKeyString({}, "Directories");
        const SettingText mask = m_root.tryReadSubKeyString({}, "FileMask");
        SettingNames keys = m_root.trySubKeyNames();
        if (directories.state == SettingState::Error || mask.state == SettingState::Error ||
            keys.state == SettingState::Error) {
            error = directories.state == SettingState::Error ? directories.error
                    : mask.state == SettingState::Error      ? mask.error
                                                             : keys.error;
            return false;
        }
        m_directories = directories.text;
        m_mask = mask.text.empty() ? "*.*" : mask.text; // an empty mask would scan no file at all
        m_keys = std::move(keys.names);
        return true;
    }

    bool nameFree(const std::string& name) const {
        if (!profileNameProblem(name).empty() || containsIgnoringCase(m_keys, name) ||
            equalsIgnoringAsciiCase(name, m_group) || containsIgnoringCase(m_names, name))
            return false;
        const std::string oldFiles[] = {TFileSettings::ResultsFileName(OldResultsProfile),
                                        TFileSettings::GlobalExclusionFileName()};
        for (const std::string& file :
             {TFileSettings::ResultsFileName(name), TFileSettings::ExclusionFileName(name),
              TFileSettings::ExclusionDirFileName(name)}) {
            if (file.empty() || fileExists(file))
                return false;
            for (const std::string& old : oldFiles)
                if (equalsIgnoringAsciiCase(file, old))
                    return false;
        }
        return true;
    }

    // Chooses the group's name and one free profile name per folder.
    void planNames(const std::vector<std::string>& folders) {
        m_group = OldProfilesGroupName;
        for (int n = 2; containsIgnoringCase(m_keys, m_group); ++n)
            m_group = std::string(OldProfilesGroupName) + " " + std::to_string(n);
        for (const std::string& folder : folders) {
            std::string base = convertedProfileBase(folder);
            cutUtf8(base, MaxBaseBytes);
            std::string name = base;
            for (int n = 2; !nameFree(name); ++n)
                name = base + " " + std::to_string(n);
            m_names.push_back(name);
            m_profileOf.push_back(name);
        }
        std::sort(m_names.begin(), m_names.end(), lessIgnoringCase);
    }

    // Stores one profile per folder and the group, and removes the old values, in one transaction; false
    // with the store's reason when nothing was stored.
    bool storeProfiles(const std::vector<std::string>& folders, std::string& error) {
        std::unique_ptr<RegistryStore> store = RegistryStore::open(&error);
        if (!store)
            return false;
        const auto stored = [&] {
            RegTransaction transaction(*store);
            if (transaction.status() != RegStatus::Ok)
                return false;
            const auto write = [&](const std::string& key, std::string_view value, std::string_view text) {
                return store->createAndSetValue(key, value, REG_SZ, text) == RegStatus::Ok;
            };
            for (std::size_t i = 0; i < folders.size(); ++i) {
                const std::string key = keyOf(m_profileOf[i]);
                for (const auto& [value, text] :
                     {std::pair<std::string_view, std::string_view>{"LastResult", ""},
                      {"Source", folders[i]},
                      {"FileMasks", m_mask},
                      {"ExclFileMasks", ""},
                      {"Recursive", "Y"},
                      {"ProfileType", "1"},
                      {"DisplayLog", "Y"},
                      {"DisplayLogChanges", "Y"},
                      {"Eject", "N"}})
                    if (!write(key, value, text))
                        return false;
            }
            if (!folders.empty()) {
                const std::string group = keyOf(m_group);
                if (!write(group, "ProfileType", "2") || !write(group, "LastResult", ""))
                    return false;
                for (std::size_t i = 0; i < m_names.size(); ++i)
                    if (!write(group, "Name" + std::to_string(i), m_names[i]))
                        return false;
            }
            for (const char* name : {"AutoExit", "AutoScan", "FileMask", "Directories"})
                if (const RegStatus status = store->deleteValue(m_root.Key(), name);
                    status != RegStatus::Ok && status != RegStatus::NotFound)
                    return false;
            return transaction.commit() == RegStatus::Ok;
        }();
        if (!stored)
            error = store->lastError();
        return stored;
    }

    void distributeResults(const std::vector<std::string>& folders, std::vector<std::string>& readFiles,
                           std::vector<std::string>& errors) {
        const std::string file = TFileSettings::ResultsFileName(OldResultsProfile);
        if (!fileExists(file))
            return;
        readFiles.push_back(file);
        auto old = std::make_unique<CompareList>();
        std::string error;
        TFileSettings::LoadResults(OldResultsProfile, nullptr, old.get(), error);
        if (!error.empty()) {
            errors.push_back(error);
        } else {
            for (std::size_t i = 0; i < folders.size(); ++i) {
                CompareList results;
                for (const auto& [path, entry] : *old) {
                    std::string key = keyInside(path, folders[i]);
                    if (!key.empty() && entry.Old)
                        results[std::move(key)].Old = std::make_unique<TFileDetails>(*entry.Old);
                }
                if (results.empty())
                    continue;
                TFileSettings::SaveResults(m_profileOf[i], &results, true, error);
                if (!error.empty())
                    errors.push_back(error);
            }
        }
        TTreeScanner::FreeFileList(old);
    }

    void distributeExclusions(const std::vector<std::string>& folders, std::vector<std::string>& readFiles,
                              std::vector<std::string>& errors) {
        const std::string file = TFileSettings::GlobalExclusionFileName();
        if (!fileExists(file))
            return;
        readFiles.push_back(file);
        KeySet old;
        std::string error;
        TFileSettings::LoadGlobalExclusions(&old, error);
        if (!error.empty()) {
            errors.push_back(error);
            return;
        }
        for (std::size_t i = 0; i < folders.size(); ++i) {
            KeySet exclusions;
            for (const std::string& path : old)
                if (std::string key = keyInside(path, folders[i]); !key.empty())
                    exclusions.insert(std::move(key));
            if (exclusions.empty())
                continue;
            TFileSettings::SaveExclusions(m_profileOf[i], &exclusions, error);
            if (!error.empty())
                errors.push_back(error);
        }
    }

    TSettings& m_root;
    std::string m_directories;
    std::string m_mask;
    std::vector<std::string> m_keys; // the root key's sub-keys before the conversion
    std::string m_group;
    std::vector<std::string> m_names;     // sorted for the group's members
    std::vector<std::string> m_profileOf; // by folder
};

} // namespace

std::vector<std::string> oldFolderList(std::string_view directories) {
    std::vector<std::string> folders;
    for (std::string& folder : splitDelimitedText(directories, '*')) {
        while (folder.size() > 1 && isSeparator(folder.back()))
            folder.pop_back();
        if (!folder.empty())
            folders.push_back(std::move(folder));
    }
    // Spellings of one Windows folder keep their first; Linux folders that differ in letter case are two.
    // (Texts equal but for case are both Windows-style or both not.)
    std::stable_sort(folders.begin(), folders.end(), [](const std::string& a, const std::string& b) {
        const int order = orderIgnoringAsciiCase(a, b);
        return order != 0 ? order < 0 : !isWindowsFolder(a) && a < b;
    });
    folders.erase(
        std::unique(folders.begin(), folders.end(),
                    [](const std::string& a, const std::string& b) { return sameFolderText(a, b); }),
        folders.end());
    return folders;
}

std::string convertedProfileBase(std::string_view folder) {
    const std::size_t cut = folder.find_last_of("\\/:");
    std::string base(cut == std::string_view::npos ? folder : folder.substr(cut + 1));
    for (char& c : base) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos)
            c = '_';
    }
    const std::size_t first = base.find_first_not_of(' ');
    base = first == std::string::npos ? std::string()
                                      : base.substr(first, base.find_last_not_of(' ') - first + 1);
    if (!base.empty())
        return base;
    std::string_view root = folder;
    while (!root.empty() && isSeparator(root.back()))
        root.remove_suffix(1);
    return isDrive(root) ? "Drive " + std::string(1, static_cast<char>(asciiLower(root[0]) - 'a' + 'A'))
                         : "Root";
}

OldSettingsConversion ConvertOldSettings(TSettings& RootSettings) {
    return Converter(RootSettings).run();
}

} // namespace halcyra
