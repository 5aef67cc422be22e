#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace halcyra {

enum class FolderEntryKind {
    Folder, // a real sub-folder, never a link to one
    File,   // a regular file or a link that may lead to one; fileFacts() decides
    Other,  // FIFO, socket, device: never listed
};

struct FolderEntry {
    std::string_view name; // raw bytes; valid until the next call of next()
    FolderEntryKind kind = FolderEntryKind::Other;
    bool regular = false; // a File that the listing itself says is a regular file, not a link
};

struct FileFacts {
    std::int64_t size = 0;     // true byte count
    std::int64_t modified = 0; // last write, seconds since the Unix epoch
};

// An open folder with one pass over its entries, in the order the file system delivers them. The
// folder stays open after the pass as the base its sub-folders are opened from, so that a walk works
// at any depth, whatever the length of the paths.
class FolderListing {
public:
    virtual ~FolderListing() = default;
    // Moves to the next entry other than "." and "..". False at the end of the listing, or when
    // reading it failed (error() then holds the errno value).
    virtual bool next(FolderEntry& entry) = 0;
    // Size and last-write time of the current entry of kind File, following a link. False when it is
    // not (or no longer) a regular file: vanished, a dangling link, a link to a folder or a FIFO.
    virtual bool fileFacts(FileFacts& facts) = 0;
    virtual int error() const = 0;
    // Ends the pass and releases what it holds; the folder stays open for openSubFolder().
    virtual void endPass() {}
    // Opens the sub-folder `name` of this folder, never through a link. Null with `error` set to an
    // errno value when it cannot (ENOENT when it is gone, ENOTDIR when it is no folder now).
    virtual std::unique_ptr<FolderListing> openSubFolder(std::string_view name, int& error) = 0;
};

// The file-system access of folder walks, behind one seam so that tests can make a listing fail.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens the listing of `path`, a walk's starting folder, whatever the length of the path; null
    // with `error` set to an errno value when it cannot. `followLink`: the folder may be reached
    // through a link; otherwise a link is refused.
    virtual std::unique_ptr<FolderListing> openFolder(const std::string& path, bool followLink,
                                                      int& error) = 0;

    // Opens the listing of the sub-folder `name` of `parent` (whose full path is `path`, ending in
    // '/'), never through a link. The real file system opens it relative to `parent`.
    virtual std::unique_ptr<FolderListing> openSubFolder(FolderListing& parent, std::string_view name,
                                                         const std::string& path, int& error) {
        (void)path;
        return parent.openSubFolder(name, error);
    }

    // The real file system.
    static FileSystem& real();
};

} // namespace halcyra
