#include "detection/FolderListing.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

class RealFolderListing final : public FolderListing {
public:
    explicit RealFolderListing(DIR* dir) : m_dir(dir), m_fd(dirfd(dir)) {}
    ~RealFolderListing() override { closedir(m_dir); }

    bool next(FolderEntry& entry) override {
        for (;;) {
            errno = 0;
            const dirent* item = readdir(m_dir);
            if (item == nullptr) {
                m_error = errno;
                return false;
            }
            const char* name = item->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            m_name = name;
            m_haveFacts = false;
            entry.name = std::string_view(name, std::strlen(name));
            entry.kind = classify(item->d_type);
            return true;
        }
    }

    bool fileFacts(FileFacts& facts) override {
        if (!m_haveFacts) {
            struct stat info {};
            if (fstatat(m_fd, m_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
                return false;
            remember(info);
        }
        facts = m_facts;
        return true;
    }

    int error() const override { return m_error; }

private:
    FolderEntryKind classify(unsigned char type) {
        switch (type) {
        case DT_DIR:
            return FolderEntryKind::Folder;
        case DT_REG:
        case DT_LNK:
            return FolderEntryKind::File;
        case DT_UNKNOWN:
            break;
        default:
            return FolderEntryKind::Other;
        }
        // The file system does not tell the type in its listing: ask without following a link.
        struct stat info {};
        if (fstatat(m_fd, m_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return FolderEntryKind::Other; // vanished
        if (S_ISDIR(info.st_mode))
            return FolderEntryKind::Folder;
        if (S_ISREG(info.st_mode)) {
            remember(info);
            return FolderEntryKind::File;
        }
        return S_ISLNK(info.st_mode) ? FolderEntryKind::File : FolderEntryKind::Other;
    }

    void remember(const struct stat& info) {
        m_facts.size = static_cast<std::int64_t>(info.st_size);
        m_facts.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec);
        m_haveFacts = true;
    }

    DIR* m_dir;
    int m_fd;
    const char* m_name = nullptr;
    FileFacts m_facts;
    bool m_haveFacts = false;
    int m_error = 0;
};

class RealFileSystem final : public FileSystem {
public:
    std::unique_ptr<FolderListing> openFolder(const std::string& path, bool followLink, int& error) override {
        const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
        const int fd = open(path.c_str(), flags);
        if (fd < 0) {
            error = errno;
            return nullptr;
        }
        DIR* dir = fdopendir(fd);
        if (dir == nullptr) {
            error = errno;
            close(fd);
            return nullptr;
        }
        return std::make_unique<RealFolderListing>(dir);
    }
};

} // namespace

FileSystem& FileSystem::real() {
    static RealFileSystem fileSystem;
    return fileSystem;
}

} // namespace halcyra
