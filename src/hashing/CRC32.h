#pragma once

#include "hashing/FileReader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace halcyra {

// The standard reflected CRC-32 table of the polynomial 0xEDB88320.
extern const std::uint32_t CRC32Table[256];

// Folds `count` bytes into the running CRC register `crc` (start with 0xFFFFFFFF, complement at
// the end). A count of 0 leaves it unchanged.
void UpdateCRC32(const void* data, std::size_t count, std::uint32_t& crc);

// The CRC-32 of a whole file and the outcome: resultCode is 0 on success, else the errno value
// of the failed open or read (crc is then meaningless).
struct CRC32Result {
    std::uint32_t crc = 0;
    int resultCode = 0;
    bool stopped = false; // a poll gave up before the end (crc is then meaningless)
};

// CRC-32 of the regular file `fileName` (reflected, 0xEDB88320, initial 0xFFFFFFFF, final
// complement), read with a buffer of its own.
CRC32Result FileCRC32(const std::string& fileName);

// The same, reading through the caller's buffer (any size of at least 1 byte).
CRC32Result FileCRC32(const std::string& fileName, std::uint8_t* buffer, std::size_t bufferSize);

// The CRC-32 of the rest of an already open file, read through the caller's buffer; with `poll`
// set, asks it between blocks (see readWholeFile) and gives up when it answers true. The reader is
// closed at the end.
CRC32Result FileCRC32(RegularFileReader& reader, std::uint8_t* buffer, std::size_t bufferSize,
                      const StopPoll* poll = nullptr);

// The two implementations behind UpdateCRC32, open for tests and benchmarks.
namespace crc32impl {
// Table-driven, 16 bytes per step; any CPU.
void updateSliced(const std::uint8_t* data, std::size_t count, std::uint32_t& crc);
// Whether this CPU runs updateFolded (carry-less multiply and SSE4.1).
bool foldingAvailable();
// Carry-less multiply folding for runs of 64 bytes and more, table for the rest.
// Only when foldingAvailable().
void updateFolded(const std::uint8_t* data, std::size_t count, std::uint32_t& crc);
} // namespace crc32impl

} // namespace halcyra
