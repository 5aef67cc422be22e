// The profile archive routines of TFileSettings.

#include "detection/FileSettings.h"

#include "base/IOStream.h"
#include "base/Paths.h"
#include "base/ProfileNameRule.h"
#include "detection/HousekeepingJournal.h"
#include "detection/ProfileRunLock.h"
#include "platform/RegistryStore.h"
#include "settings/RegExport.h"
#include "settings/RegMerge.h"
#include "settings/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace halcyra {

namespace {

// The largest registry text and the largest results file or exclusion list an import extracts.
constexpr std::uint64_t MaxRegistryText = std::uint64_t{64} << 20;
constexpr std::uint64_t MaxDataFile = std::uint64_t{1} << 30;

// A failure on the way, carrying the message that follows the operation's own error prefix.
struct ArchiveError {
    std::string message;
};

std::string profileKeyPath(std::string_view profile) {
    return std::string(SettingsRootKey) + "\\" + std::string(profile);
}

// The last component of a key path.
std::string_view namePartOfKey(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

using DataFileName = std::string (*)(std::string_view);
constexpr std::array<DataFileName, 3> DataFileNames = {
    &TFileSettings::ResultsFileName, &TFileSettings::ExclusionFileName, &TFileSettings::ExclusionDirFileName};

// The archive member names of a profile, in the order of DataFileNames after the registry text.
std::array<std::string, 4> memberNames(std::string_view profile) {
    const std::string name(profile);
    return {name + ".reg", name + ".txt", name + "_excl.txt", name + "_excl_dir.txt"};
}

bool sameFile(const std::string& left, const std::string& right) {
    struct stat a {
    }, b{};
    return ::stat(left.c_str(), &a) == 0 && ::stat(right.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool isRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A private folder in the data folder for the temporary files of one export or import, locked while it
// exists (so that no sweep of leftovers takes it) and removed with its contents when it goes out of scope.
class PrivateFolder {
public:
    PrivateFolder(std::string_view kind) {
        std::string pattern = dataFolder() + "." + std::string(kind) + "-XXXXXX";
        m_fd = createLockedFolder(pattern);
        if (m_fd < 0)
            throw ArchiveError{"The temporary folder \"" + pattern +
                               "\" could not be created: " + systemMessage(errno)};
        m_folder = pattern;
        m_path = pattern + "/";
    }
    ~PrivateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
        ::close(m_fd);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    // The folder with a trailing '/'.
    const std::string& path() const { return m_path; }
    const std::string& folder() const { return m_folder; }

private:
    std::string m_folder;
    std::string m_path;
    int m_fd = -1;
};

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Zip = std::unique_ptr<zip_t, ZipCloser>;

std::string zipMessage(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    return message;
}

std::string zipMessage(zip_t* archive) {
    return zip_error_strerror(zip_get_error(archive));
}

// Opens an existing archive for reading. Anything but a regular file is refused unopened.
Zip openArchive(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw ArchiveError{errno == ENOENT ? zipMessage(ZIP_ER_NOENT) : systemMessage(errno)};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw ArchiveError{zipMessage(ZIP_ER_NOZIP)};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int code = 0;
    zip_t* archive = zip_fdopen(fd, ZIP_RDONLY, &code);
    if (archive == nullptr) {
        ::close(fd);
        throw ArchiveError{zipMessage(code)};
    }
    return Zip(archive);
}

std::string archiveComment(zip_t* archive) {
    int length = 0;
    const char* comment = zip_get_archive_comment(archive, &length, ZIP_FL_ENC_RAW);
    return comment != nullptr && length > 0 ? std::string(comment, static_cast<std::size_t>(length))
                                            : std::string();
}

bool holdsProfile(zip_t* archive, const std::string& name) {
    return !name.empty() && profileNameProblem(name).empty() && zip_get_num_entries(archive, 0) > 0;
}

// The folder `path` lies in, as an existing folder, or nothing.
std::optional<struct stat> folderOf(const std::string& path) {
    const std::string_view folder = folderPart(path);
    struct stat info {};
    if (::stat(folder.empty() ? "." : std::string(folder).c_str(), &info) != 0)
        return std::nullopt;
    return info;
}

bool isFolder(const struct stat& folder, const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && info.st_dev == folder.st_dev && info.st_ino == folder.st_ino;
}

// Extracts member `index` of `archive` to the new file `target`, refusing anything but a regular entry of
// at most `cap` bytes.
void extractMember(zip_t* archive, zip_int64_t index, const std::string& member, const std::string& target,
                   std::uint64_t cap) {
    const auto refuse = [&](const std::string& why) {
        throw ArchiveError{"The member \"" + member + "\" " + why};
    };
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, &system,
                                         &attributes) == 0 &&
        system == ZIP_OPSYS_UNIX) {
        const mode_t type = (attributes >> 16) & S_IFMT;
        if (type != 0 && type != S_IFREG)
            refuse("is not a regular file.");
    }
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &info) != 0)
        refuse("cannot be read: " + zipMessage(archive));
    if ((info.valid & ZIP_STAT_SIZE) != 0 && info.size > cap)
        refuse("is too large.");
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr)
        refuse("cannot be read: " + zipMessage(archive));
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        const int error = errno;
        zip_fclose(file);
        throw ArchiveError{"The file \"" + target + "\" could not be created: " + systemMessage(error)};
    }
    std::string failure;
    std::uint64_t total = 0;
    char block[65536];
    for (;;) {
        const zip_int64_t got = zip_fread(file, block, sizeof block);
        if (got < 0) {
            failure = "cannot be read: " + std::string(zip_error_strerror(zip_file_get_error(file)));
            break;
        }
        if (got == 0)
            break;
        total += static_cast<std::uint64_t>(got);
        if (total > cap) {
            failure = "is too large.";
            break;
        }
        if (!writeAll(fd, block, static_cast<std::size_t>(got))) {
            failure = "could not be written to \"" + target + "\": " + systemMessage(errno);
            break;
        }
    }
    zip_fclose(file);
    if (failure.empty() && ::fsync(fd) != 0)
        failure = "could not be written to \"" + target + "\": " + systemMessage(errno);
    if (::close(fd) != 0 && failure.empty())
        failure = "could not be written to \"" + target + "\": " + systemMessage(errno);
    if (!failure.empty())
        refuse(failure);
}

// The file an export writes for the user's `archiveFile`: a link is followed, so that it stays a link, and
// anything but a regular file is refused, never replaced. The writer gives a new file 0666 less the umask
// and a replaced one its old mode.
std::string exportTarget(const std::string& archiveFile) {
    UserTarget target;
    std::string error;
    if (!resolveUserTarget(archiveFile, target, error))
        throw ArchiveError{error};
    return target.path;
}

bool lockProfile(ProfileRunLock& lock, std::string_view profile, std::string& errorText) {
    return lock.acquire(profile, errorText) == ProfileRunLock::Outcome::Acquired;
}

} // namespace

bool TFileSettings::ExportProfile(std::string_view profile, const std::string& archiveFile,
                                  std::string& errorText) {
    errorText.clear();
    try {
        if (const std::string problem = profileNameProblem(profile); !problem.empty())
            throw ArchiveError{problem};
        const std::string file = exportTarget(archiveFile);
        const std::optional<struct stat> target = folderOf(file);
        if (target && (isFolder(*target, dataFolder()) || isFolder(*target, settingsFolder())))
            throw ArchiveError{"A profile file cannot be saved in the folder of the program's own files."};
        std::unique_ptr<RegistryStore> store = RegistryStore::open(&errorText);
        if (!store)
            throw ArchiveError{errorText};
        // The data files follow the key's stored spelling.
        std::string stored;
        const RegStatus found = store->storedPath(profileKeyPath(profile), stored);
        if (found == RegStatus::NotFound)
            throw ArchiveError{"The profile does not exist."};
        if (found != RegStatus::Ok)
            throw ArchiveError{store->lastError()};
        const std::string name(namePartOfKey(stored));
        const std::array<std::string, 4> members = memberNames(name);

        PrivateFolder temporary("export");
        const std::string regFile = temporary.path() + members[0];
        std::string error;
        if (!ExportRegistryKey(RegRoot::CurrentUser, profileKeyPath(name), regFile, error, store.get()))
            throw ArchiveError{error};

        int code = 0;
        Zip archive(zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
        if (!archive)
            throw ArchiveError{zipMessage(code)};
        if (zip_set_archive_comment(archive.get(), name.data(), static_cast<zip_uint16_t>(name.size())) != 0)
            throw ArchiveError{zipMessage(archive.get())};
        const auto add = [&](const std::string& path, const std::string& member) {
            zip_source_t* source = zip_source_file(archive.get(), path.c_str(), 0, -1);
            if (source == nullptr)
                throw ArchiveError{zipMessage(archive.get())};
            if (zip_file_add(archive.get(), member.c_str(), source, ZIP_FL_ENC_GUESS) < 0) {
                zip_source_free(source);
                throw ArchiveError{zipMessage(archive.get())};
            }
        };
        add(regFile, members[0]);
        for (std::size_t i = 0; i < DataFileNames.size(); ++i) {
            const std::string path = DataFileNames[i](name);
            if (isRegularFile(path))
                add(path, members[i + 1]);
        }
        // Written to a temporary file beside the target and renamed over it when complete.
        if (zip_close(archive.get()) != 0)
            throw ArchiveError{zipMessage(archive.get())};
        archive.release();
        return true;
    } catch (const ArchiveError& error) {
        errorText =
            "Unable to export the profile \"" + std::string(profile) + "\". Error is: " + error.message;
    }
    return false;
}

bool TFileSettings::CheckProfileFile(const std::string& archiveFile, std::string& profileName,
                                     std::string& errorText) {
    profileName.clear();
    errorText.clear();
    try {
        Zip archive = openArchive(archiveFile);
        profileName = archiveComment(archive.get());
        if (!holdsProfile(archive.get(), profileName)) {
            errorText = "Invalid profile file: " + archiveFile;
            return false;
        }
        if (zip_name_locate(archive.get(), memberNames(profileName)[0].c_str(), ZIP_FL_ENC_RAW) >= 0)
            return true;
        errorText = "The profile file does not contain a registry setting file";
    } catch (const ArchiveError& error) {
        errorText = "Error in profile file: " + error.message;
    }
    return false;
}

bool TFileSettings::ImportProfile(const std::string& archiveFile, std::string& errorText) {
    errorText.clear();
    std::string name = "(unknown)";
    try {
        Zip archive = openArchive(archiveFile);
        const std::string comment = archiveComment(archive.get());
        if (!holdsProfile(archive.get(), comment)) {
            errorText = "Invalid profile file: " + archiveFile;
            return false;
        }
        name = comment;
        const std::array<std::string, 4> members = memberNames(name);
        const std::string key = profileKeyPath(name);

        std::unique_ptr<RegistryStore> store = RegistryStore::open(&errorText);
        if (!store)
            throw ArchiveError{errorText};
        // The profile this one replaces, in its stored spelling.
        std::string replaced;
        std::string stored;
        const RegStatus found = store->storedPath(key, stored);
        if (found == RegStatus::Ok)
            replaced = std::string(namePartOfKey(stored));
        else if (found != RegStatus::NotFound)
            throw ArchiveError{store->lastError()};
        std::vector<std::string> profiles{name};
        if (!replaced.empty() && replaced != name)
            profiles.push_back(replaced);
        // A profile that is being run is refused with the lock's own text.
        std::array<ProfileRunLock, 2> locks;
        for (std::size_t i = 0; i < profiles.size(); ++i)
            if (!lockProfile(locks[i], profiles[i], errorText))
                return false;

        for (const std::string& profile : profiles)
            for (DataFileName fileName : DataFileNames)
                if (sameFile(archiveFile, fileName(profile)))
                    throw ArchiveError{"The profile file is one of the profile's own data files."};

        PrivateFolder staging("import");
        HousekeepingJournal journal(profiles);
        journal.stage(staging.folder());
        std::array<bool, 4> present{};
        for (std::size_t i = 0; i < members.size(); ++i) {
            const zip_int64_t index = zip_name_locate(archive.get(), members[i].c_str(), ZIP_FL_ENC_RAW);
            present[i] = index >= 0;
            if (present[i])
                extractMember(archive.get(), index, members[i], staging.path() + members[i],
                              i == 0 ? MaxRegistryText : MaxDataFile);
            HousekeepingJournal::reachStep();
        }
        archive.reset();
        if (!present[0]) {
            errorText = "There was no registry settings file for the profile: " + name;
            return false;
        }

        // After the commit the archive's files take the places of the replaced profile's, which go with
        // its log pages.
        using Step = HousekeepingJournal::StepKind;
        for (std::size_t i = 1; i < members.size(); ++i) {
            const std::string target = DataFileNames[i - 1](name);
            if (present[i])
                journal.add(Step::Rename, staging.path() + members[i], target);
            else
                journal.add(Step::Remove, target);
            if (profiles.size() > 1)
                journal.add(Step::Remove, DataFileNames[i - 1](replaced));
        }
        for (const std::string& profile : profiles)
            journal.add(Step::DeleteLogs, profile);
        if (!journal.write(errorText))
            throw ArchiveError{errorText};

        const std::string mergeFailed =
            "Unable to import the profiles registry settings for profile: " + name;
        RegTransaction transaction(*store);
        if (transaction.status() != RegStatus::Ok) {
            errorText = mergeFailed;
            return false;
        }
        if (!replaced.empty() && store->deleteKeyTree(key) != RegStatus::Ok) {
            errorText = mergeFailed;
            return false;
        }
        TRegMerge merger(staging.path() + members[0], store.get());
        merger.OverwriteExisting = true;
        merger.LimitKey = key;
        if (!merger.ExecuteWithin(*store) || store->storedPath(key, stored) != RegStatus::Ok ||
            (namePartOfKey(stored) != name && store->renameKey(key, name) != RegStatus::Ok)) {
            errorText = mergeFailed;
            return false;
        }
        const RegValueRead type = store->queryValue(key, "ProfileType");
        const std::optional<std::int32_t> kind =
            type.status == RegStatus::Ok && type.type == REG_SZ ? integerFromText(type.data) : std::nullopt;
        if (!kind || ((*kind & 0xFF) != 1 && (*kind & 0xFF) != 2)) {
            errorText = mergeFailed;
            return false;
        }
        // An imported profile has not run here.
        const RegStatus lastRun = store->deleteValue(key, "LastRun");
        if ((lastRun != RegStatus::Ok && lastRun != RegStatus::NotFound) ||
            store->setString(key, "LastResult", "Imported") != RegStatus::Ok ||
            journal.mark(*store) != RegStatus::Ok || transaction.commit() != RegStatus::Ok)
            throw ArchiveError{store->lastError()};
        std::vector<std::string> failures;
        if (!journal.finish(failures))
            throw ArchiveError{failures.front()};
        return true;
    } catch (const ArchiveError& error) {
        errorText = "Unable to import profile \"" + name + "\": " + error.message;
    }
    return false;
}

} // namespace halcyra
