#include "shell/OldSettings.h"

#include "base/AsciiCase.h"
#include "base/IOStream.h"
#include "base/ProfileNameRule.h"
#include "detection/CommaText.h"
#include "detection/FileSettings.h"
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

bool lessIgnoringCase(const std::string& left, const std::string& right) {
    return orderIgnoringAsciiCase(left, right) < 0;
}

// The part of `path` below `folder` as a relative file key ("/sub/name"), or empty when `path` does not lie
// inside `folder`.
std::string keyInside(std::string_view path, std::string_view folder) {
    const bool windows = isWindowsFolder(folder);
    std::size_t start = folder.size();
    if (isSeparator(folder.back()))
        --start; // a root folder keeps its separator
    if (path.size() <= start + 1 || !equalsIgnoringAsciiCase(path.substr(0, folder.size()), folder))
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

    OldSettingsConversion run() {
        OldSettingsConversion outcome;
        const std::vector<std::string> folders = oldFolderList(m_root.ReadString("Directories"));
        outcome.converted = !folders.empty();
        if (outcome.converted && !writeProfiles(folders, outcome.errors))
            return outcome; // the old values stay for the next attempt
        std::vector<std::string> readFiles;
        if (outcome.converted) {
            distributeResults(folders, readFiles, outcome.errors);
            distributeExclusions(folders, readFiles, outcome.errors);
        }
        const bool keep = !outcome.errors.empty();
        for (const std::string& file : readFiles) {
            std::string error;
            if (!retireFile(file, keep, error))
                outcome.errors.push_back(error);
        }
        for (const char* name : {"AutoExit", "AutoScan", "FileMask", "Directories"})
            m_root.DeleteValue(name);
        if (!m_root.ReadString("Directories").empty())
            outcome.errors.push_back("The old settings could not be removed: " + m_root.WriteError());
        return outcome;
    }

private:
    std::string keyOf(std::string_view name) const { return m_root.Key() + "\\" + std::string(name); }

    bool nameFree(const std::string& name) const {
        if (!profileNameProblem(name).empty() || m_root.SubKeyExists(name) ||
            equalsIgnoringAsciiCase(name, m_group))
            return false;
        for (const std::string& taken : m_names)
            if (equalsIgnoringAsciiCase(name, taken))
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

    // Writes one profile per folder and the group; false when the store refused a write.
    bool writeProfiles(const std::vector<std::string>& folders, std::vector<std::string>& errors) {
        m_group = OldProfilesGroupName;
        for (int n = 2; m_root.SubKeyExists(m_group); ++n)
            m_group = std::string(OldProfilesGroupName) + " " + std::to_string(n);
        std::string mask = m_root.ReadString("FileMask");
        if (mask.empty())
            mask = "*.*"; // an empty mask would scan no file at all
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

        bool written = true;
        auto write = [&](TSettings& settings, std::string_view value, std::string_view text) {
            if (!settings.WriteString(value, text) && written) {
                written = false;
                errors.push_back(settings.WriteError());
            }
        };
        for (std::size_t i = 0; i < folders.size(); ++i) {
            TSettings profile(keyOf(m_profileOf[i]));
            write(profile, "LastResult", "");
            write(profile, "Source", folders[i]);
            write(profile, "FileMasks", mask);
            write(profile, "ExclFileMasks", "");
            write(profile, "Recursive", "Y");
            write(profile, "ProfileType", "1");
            write(profile, "DisplayLog", "Y");
            write(profile, "DisplayLogChanges", "Y");
            write(profile, "Eject", "N");
        }
        TSettings group(keyOf(m_group));
        write(group, "ProfileType", "2");
        write(group, "LastResult", "");
        for (std::size_t i = 0; i < m_names.size(); ++i)
            write(group, "Name" + std::to_string(i), m_names[i]);
        return written;
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
    std::stable_sort(folders.begin(), folders.end(), lessIgnoringCase); // the first spelling stays
    folders.erase(
        std::unique(folders.begin(), folders.end(),
                    [](const std::string& a, const std::string& b) { return equalsIgnoringAsciiCase(a, b); }),
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
