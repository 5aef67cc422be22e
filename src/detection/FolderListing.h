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
};

struct FileFacts {
    std::int64_t size = 0;     // true byte count
    std::int64_t modified = 0; // last write, seconds since the Unix epoch
};

// One pass over the entries of one folder, in the order the file system delivers them.
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
};

// The file-system access of folder walks, behind one seam so that tests can make a listing fail.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens the listing of `path`; null with `error` set to an errno value when it cannot. Only a
    // walk's starting folder may be reached through a link (`followLink`); for any other folder a
    // link is refused.
    virtual std::unique_ptr<FolderListing> openFolder(const std::string& path, bool followLink,
                                                      int& error) = 0;

    // The real file system.
    static FileSystem& real();
};

} // namespace halcyra
