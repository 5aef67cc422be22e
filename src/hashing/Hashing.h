#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace halcyra {

class TMD5;
class RegularFileReader;
class ContentReads;

// Stands in for the hash of a file that cannot be read, in results, lists and console output.
inline constexpr std::string_view CannotOpenFilePlaceholder = "________CANNOT_OPEN_FILE________";

// MD5 text of zero bytes.
inline constexpr std::string_view EmptyFileMD5 = "D41D8CD98F00B204E9800998ECF8427E";

// Hashes whole files to upper-case hexadecimal text. One instance serves one caller, one file
// at a time; the kind is fixed at creation.
class TFileHashing {
public:
    static constexpr std::uint8_t KindMD5 = 0;
    static constexpr std::uint8_t KindCRC32 = 1;

    // hashType 0 = MD5, 1 = CRC-32; any other value is accepted and hashes nothing.
    explicit TFileHashing(std::uint8_t hashType);
    ~TFileHashing();
    TFileHashing(const TFileHashing&) = delete;
    TFileHashing& operator=(const TFileHashing&) = delete;

    // The hash text of the file (32 digits for MD5, 8 for CRC-32), or the empty text when the
    // file is not a readable regular file. Paths of any length are accepted. Never throws.
    std::string HashFile(const std::string& fileName);

    // Like HashFile, but calls `shouldStop` between blocks (about every 4 MiB read, and at least every
    // ~50 ms of reading); when it returns true the hash stops and the empty text comes back.
    std::string HashFile(const std::string& fileName, const std::function<bool()>& shouldStop);

    // Like HashFile, for the entry `name` of the open folder `dirFd`, which the caller has just found
    // to be the regular file `seen` (a stat following links). The entry is opened relative to the
    // folder and must still be that file.
    std::string HashFileAt(int dirFd, const std::string& name, const struct stat& seen);
    // Like HashFileAt, with the stop poll of HashFile.
    std::string HashFileAt(int dirFd, const std::string& name, const struct stat& seen,
                           const std::function<bool()>& shouldStop);
    // Like HashFileAt, for an entry that a folder listing called a regular file and that nobody has looked
    // at (`dirFd` AT_FDCWD: `name` is a path of any length): it is looked at once open, and LastFileStat()
    // tells what it was.
    std::string HashListedFileAt(int dirFd, const std::string& name, const std::function<bool()>& shouldStop);

    // Whether the last HashFile call was stopped by its poll (then its empty text means "stopped",
    // not "unreadable").
    bool LastHashStopped() const { return m_lastStopped; }
    // The stat of the entry of the last HashListedFileAt call (following links), taken once it was open or
    // when it could not be opened; null when it was gone or could not be looked at.
    const struct stat* LastFileStat() const { return m_lastLookedAt ? &m_lastStat : nullptr; }

    // Reads the files through `reads` (not owned), with `noWait` only what the page cache holds: a file
    // whose contents would have to come from the disk gives the empty text and LastHashWouldWait().
    void UseReads(ContentReads& reads, bool noWait);
    bool LastHashWouldWait() const { return m_lastWouldWait; }

    std::uint8_t HashType() const { return m_hashType; }

private:
    std::string hash(const std::string& fileName, const std::function<bool()>* shouldStop);
    // The entry `name` of `dirFd` that a stat found to be `seen`; null: a listed entry not looked at.
    std::string hashAt(int dirFd, const std::string& name, const struct stat* seen,
                       const std::function<bool()>* shouldStop);
    bool canHash();
    // The hash text of the open file, or the empty text when reading fails or the poll stops it.
    std::string hashOpenFile(RegularFileReader& reader, const std::function<bool()>* shouldStop);
    std::string hashContents(RegularFileReader& reader, const std::function<bool()>* shouldStop);
    std::string MD5File(RegularFileReader& reader, const std::function<bool()>* shouldStop);

    std::uint8_t m_hashType;
    bool m_lastStopped = false;
    bool m_lastLookedAt = false;
    struct stat m_lastStat {};
    bool m_lastWouldWait = false;
    ContentReads* m_reads;
    bool m_noWait = false;
    std::unique_ptr<TMD5> MD5;                   // present only for kind 0
    std::unique_ptr<std::uint8_t[]> m_crcBuffer; // kind 1: taken at the first file, kept
};

} // namespace halcyra
