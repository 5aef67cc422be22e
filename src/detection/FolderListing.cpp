#include "detection/FolderListing.h"

#include "base/LongPath.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

class RealFolderListing final : public FolderListing {
public:
    // Takes the open folder `fd`; null with `error` set when its listing cannot be started.
    static std::unique_ptr<FolderListing> open(int fd, int& error) {
        if (fd < 0) {
            error = errno;
            return nullptr;
        }
        // The listing reads through a descriptor of its own, which closing it ends; `fd` stays the base.
        const int listFd = fcntl(fd, F_DUPFD_CLOEXEC, 0);
        DIR* dir = listFd < 0 ? nullptr : fdopendir(listFd);
        if (dir == nullptr) {
            error = errno;
            if (listFd >= 0)
                close(listFd);
            close(fd);
            return nullptr;
        }
        return std::unique_ptr<FolderListing>(new RealFolderListing(fd, dir));
    }

    ~RealFolderListing() override {
        endPass();
        close(m_fd);
    }

    bool next(FolderEntry& entry) override {
        if (m_dir == nullptr)
            return false;
        for (;;) {
            errno = 0;
            const dirent* item = readdir(m_dir);
            if (item == nullptr) {
                m_error = errno;
                endPass();
                return false;
            }
            const char* name = item->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            m_name = name;
            m_haveFacts = false;
            entry.name = std::string_view(name, std::strlen(name));
            entry.kind = classify(item->d_type);
            entry.regular = item->d_type == DT_REG;
            return true;
        }
    }

    bool fileFacts(FileFacts& facts) override {
        if (!m_haveFacts) {
            struct stat info {};
            if (m_name == nullptr)
                return false;
            if (fstatat(m_fd, m_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
                return false;
            remember(info);
        }
        facts = m_facts;
        return true;
    }

    int error() const override { return m_error; }

    void endPass() override {
        if (m_dir != nullptr) {
            closedir(m_dir);
            m_dir = nullptr;
            m_name = nullptr;
        }
    }

    std::unique_ptr<FolderListing> openSubFolder(std::string_view name, int& error) override {
        const std::string subFolder(name);
        return open(openat(m_fd, subFolder.c_str(), FolderFlags | O_NOFOLLOW), error);
    }

private:
    RealFolderListing(int fd, DIR* dir) : m_dir(dir), m_fd(fd) {}

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
        return RealFolderListing::open(openLongPath(path, FolderFlags | (followLink ? 0 : O_NOFOLLOW)),
                                       error);
    }
};

} // namespace

FileSystem& FileSystem::real() {
    static RealFileSystem fileSystem;
    return fileSystem;
}

} // namespace halcyra
