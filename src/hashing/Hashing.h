#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace halcyra {

class TMD5;

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
    // file is not a readable regular file. Never throws.
    std::string HashFile(const std::string& fileName);

    std::uint8_t HashType() const { return m_hashType; }

private:
    std::string MD5File(const std::string& fileName);

    std::uint8_t m_hashType;
    std::unique_ptr<TMD5> MD5;                   // present only for kind 0
    std::unique_ptr<std::uint8_t[]> m_crcBuffer; // kind 1: taken at the first file, kept
};

} // namespace halcyra
