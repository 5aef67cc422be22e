#include "hashing/Hashing.h"

#include "hashing/CRC32.h"
#include "hashing/FileReader.h"
#include "hashing/Md5Engine.h"

namespace halcyra {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

} // namespace

TFileHashing::TFileHashing(std::uint8_t hashType) : m_hashType(hashType), m_reads(&ContentReads::real()) {
    if (hashType == KindMD5) {
        MD5 = std::make_unique<TMD5>();
    }
}

TFileHashing::~TFileHashing() = default;

std::string TFileHashing::HashFile(const std::string& fileName) {
    return hash(fileName, nullptr);
}

std::string TFileHashing::HashFile(const std::string& fileName, const std::function<bool()>& shouldStop) {
    return hash(fileName, shouldStop ? &shouldStop : nullptr);
}

void TFileHashing::UseReads(ContentReads& reads, bool noWait) {
    m_reads = &reads;
    m_noWait = noWait;
}

bool TFileHashing::canHash() {
    m_lastStopped = false;
    m_lastLookedAt = false;
    m_lastWouldWait = false;
    return m_hashType == KindMD5 || m_hashType == KindCRC32;
}

std::string TFileHashing::hash(const std::string& fileName, const std::function<bool()>* shouldStop) {
    if (!canHash()) {
        return {};
    }
    RegularFileReader reader;
    reader.setReads(*m_reads, m_noWait);
    if (reader.open(fileName) != 0) {
        return {};
    }
    return hashOpenFile(reader, shouldStop);
}

std::string TFileHashing::HashFileAt(int dirFd, const std::string& name, const struct stat& seen) {
    return hashAt(dirFd, name, &seen, nullptr);
}

std::string TFileHashing::HashFileAt(int dirFd, const std::string& name, const struct stat& seen,
                                     const std::function<bool()>& shouldStop) {
    return hashAt(dirFd, name, &seen, shouldStop ? &shouldStop : nullptr);
}

std::string TFileHashing::HashListedFileAt(int dirFd, const std::string& name,
                                           const std::function<bool()>& shouldStop) {
    return hashAt(dirFd, name, nullptr, shouldStop ? &shouldStop : nullptr);
}

std::string TFileHashing::hashAt(int dirFd, const std::string& name, const struct stat* seen,
                                 const std::function<bool()>* shouldStop) {
    if (!canHash()) {
        return {};
    }
    RegularFileReader reader;
    reader.setReads(*m_reads, m_noWait);
    const int error = seen != nullptr ? reader.openAt(dirFd, name, *seen) : reader.openListed(dirFd, name);
    if (reader.lookedAt() != nullptr) {
        m_lastStat = *reader.lookedAt();
        m_lastLookedAt = true;
    }
    if (error != 0) {
        return {};
    }
    return hashOpenFile(reader, shouldStop);
}

std::string TFileHashing::hashOpenFile(RegularFileReader& reader, const std::function<bool()>* shouldStop) {
    std::string text = hashContents(reader, shouldStop);
    m_lastWouldWait = reader.wouldWait();
    return text;
}

std::string TFileHashing::hashContents(RegularFileReader& reader, const std::function<bool()>* shouldStop) {
    try {
        if (m_hashType == KindMD5) {
            return MD5File(reader, shouldStop);
        }
        if (!m_crcBuffer) {
            m_crcBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(FileBlockSize);
        }
        const CRC32Result crc = FileCRC32(reader, m_crcBuffer.get(), FileBlockSize, shouldStop);
        m_lastStopped = crc.stopped;
        if (crc.resultCode != 0 || crc.stopped) {
            return {};
        }
        std::string text(8, '0');
        for (int i = 0; i < 8; ++i) {
            text[i] = HexDigits[(crc.crc >> (28 - 4 * i)) & 0xF];
        }
        return text;
    } catch (...) {
        // Out of memory, or an exception from the poll: a failure like any other.
        return {};
    }
}

std::string TFileHashing::MD5File(RegularFileReader& reader, const std::function<bool()>* shouldStop) {
    std::uint8_t digest[16];
    MD5->InputType = TSourceType::SourceFile;
    MD5->OutputDigest = digest;
    try {
        const bool finished = MD5->ComputeFileDigest(reader, shouldStop);
        MD5->OutputDigest = nullptr;
        if (!finished) {
            m_lastStopped = true;
            return {};
        }
    } catch (...) {
        MD5->OutputDigest = nullptr;
        return {};
    }
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = HexDigits[digest[i] >> 4];
        text[2 * i + 1] = HexDigits[digest[i] & 0xF];
    }
    return text;
}

} // namespace halcyra
