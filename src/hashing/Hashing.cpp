#include "hashing/Hashing.h"

#include "hashing/CRC32.h"
#include "hashing/FileReader.h"
#include "hashing/Md5Engine.h"

namespace halcyra {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

} // namespace

TFileHashing::TFileHashing(std::uint8_t hashType) : m_hashType(hashType) {
    if (hashType == KindMD5) {
        MD5 = std::make_unique<TMD5>();
    }
}

TFileHashing::~TFileHashing() = default;

std::string TFileHashing::HashFile(const std::string& fileName) {
    try {
        switch (m_hashType) {
        case KindMD5:
            return MD5File(fileName);
        case KindCRC32: {
            if (!m_crcBuffer) {
                m_crcBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(FileBlockSize);
            }
            const CRC32Result crc = FileCRC32(fileName, m_crcBuffer.get(), FileBlockSize);
            if (crc.resultCode != 0) {
                return {};
            }
            std::string text(8, '0');
            for (int i = 0; i < 8; ++i) {
                text[i] = HexDigits[(crc.crc >> (28 - 4 * i)) & 0xF];
            }
            return text;
        }
        default:
            return {};
        }
    } catch (...) {
        // Out of memory is the only thing left that can throw here; it is a failure like any other.
        return {};
    }
}

std::string TFileHashing::MD5File(const std::string& fileName) {
    std::uint8_t digest[16];
    MD5->InputType = TSourceType::SourceFile;
    MD5->InputFilePath = fileName;
    MD5->OutputDigest = digest;
    try {
        MD5->ComputeDigest();
    } catch (...) {
        MD5->OutputDigest = nullptr;
        return {};
    }
    MD5->OutputDigest = nullptr;
    std::string text(32, '0');
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = HexDigits[digest[i] >> 4];
        text[2 * i + 1] = HexDigits[digest[i] & 0xF];
    }
    return text;
}

} // namespace halcyra
