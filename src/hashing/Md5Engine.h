#pragma once

#include "hashing/FileReader.h"
#include "hashing/HashKinds.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace halcyra {

// Folds `blockCount` consecutive 64-byte blocks at `blocks` (any alignment) into the four
// chaining words A, B, C, D of RFC 1321.
void md5Compress(std::uint32_t state[4], const std::uint8_t* blocks, std::size_t blockCount);

// Incremental MD5 (RFC 1321): reset, update with any number of byte runs, finish.
class Md5Context {
public:
    Md5Context() { reset(); }

    void reset();
    void update(const void* data, std::size_t size);
    // Writes the 16 digest bytes (A, B, C, D, each least significant byte first) and resets.
    void finish(std::uint8_t digest[16]);

private:
    std::uint32_t m_state[4];
    std::uint64_t m_length; // bytes fed so far
    std::uint8_t m_pending[64];
};

// The MD5 engine: set the input properties and OutputDigest, then call ComputeDigest.
class TMD5 {
public:
    TMD5();
    ~TMD5();
    TMD5(const TMD5&) = delete;
    TMD5& operator=(const TMD5&) = delete;

    TSourceType InputType = TSourceType::SourceFile;
    std::string InputFilePath;        // read for SourceFile
    std::string InputString;          // read whole for SourceString
    const void* InputArray = nullptr; // InputLength bytes read for SourceByteArray
    std::size_t InputLength = 0;
    std::uint8_t* OutputDigest = nullptr; // the caller's 16-byte area

    // Digests the input InputType selects into OutputDigest. The engine starts afresh on every
    // call. Throws std::system_error when the file is not a readable regular file or a read
    // fails (the file is closed first), std::invalid_argument when OutputDigest is not set.
    void ComputeDigest();

    // Digests the rest of the already open file `reader` into OutputDigest, the way ComputeDigest
    // digests a named file. With `poll` set, asks it between blocks (see readWholeFile): when it
    // answers true, returns false and OutputDigest is left untouched. Throws as ComputeDigest.
    bool ComputeFileDigest(RegularFileReader& reader, const StopPoll* poll = nullptr);

private:
    // Feeds the rest of the file to m_context; false when `poll` stopped it.
    bool digestFile(RegularFileReader& reader, const std::string& name, const StopPoll* poll);

    Md5Context m_context;
    std::unique_ptr<std::uint8_t[]> m_buffer; // FileBlockSize bytes, taken at the first file
};

} // namespace halcyra
