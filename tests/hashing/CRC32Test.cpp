#include "hashing/CRC32.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using namespace halcyra;

namespace {

// One bit at a time, straight from the definition of the reflected CRC-32.
std::uint32_t bitwiseCrc(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return ~crc;
}

std::uint32_t crcOf(const std::string& text) {
    std::uint32_t crc = 0xFFFFFFFFu;
    UpdateCRC32(text.data(), text.size(), crc);
    return ~crc;
}

std::vector<std::uint8_t> patternBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t x = 88172645u;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<std::uint8_t>(x >> 7);
    }
    return bytes;
}

} // namespace

// Entries of the published table (every entry is checked through the bitwise definition below).
TEST(CRC32, TableIsTheStandardReflectedTable) {
    const std::pair<int, std::uint32_t> entries[] = {
        {0, 0x00000000u},    {1, 0x77073096u},    {8, 0x0EDB8832u},   {0x10, 0x1DB71064u},
        {0x80, 0xEDB88320u}, {0xAA, 0x36034AF6u}, {0xFF, 0x2D02EF8Du}};
    for (const auto& [index, value] : entries)
        EXPECT_EQ(CRC32Table[index], value) << "entry " << index;
}

TEST(CRC32, KnownAnswers) {
    EXPECT_EQ(crcOf(""), 0x00000000u);
    EXPECT_EQ(crcOf("a"), 0xE8B7BE43u);
    EXPECT_EQ(crcOf("abc"), 0x352441C2u);
    EXPECT_EQ(crcOf("123456789"), 0xCBF43926u);
    EXPECT_EQ(crcOf("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(crcOf(std::string(32, '\0')), 0x190A55ADu);
    EXPECT_EQ(crcOf(std::string(32, '\xFF')), 0xFF6CAB0Bu);
}

TEST(CRC32, BothPathsMatchTheDefinitionAtEveryLengthAndAlignment) {
    const auto bytes = patternBytes(300 + 16);
    for (std::size_t start = 0; start < 16; ++start) {
        for (std::size_t len = 0; len <= 300; ++len) {
            const std::uint8_t* p = bytes.data() + start;
            const std::uint32_t expected = bitwiseCrc(p, len);
            std::uint32_t sliced = 0xFFFFFFFFu;
            crc32impl::updateSliced(p, len, sliced);
            ASSERT_EQ(~sliced, expected) << "sliced, start " << start << ", length " << len;
            std::uint32_t dispatched = 0xFFFFFFFFu;
            UpdateCRC32(p, len, dispatched);
            ASSERT_EQ(~dispatched, expected) << "start " << start << ", length " << len;
            if (crc32impl::foldingAvailable()) {
                std::uint32_t folded = 0xFFFFFFFFu;
                crc32impl::updateFolded(p, len, folded);
                ASSERT_EQ(~folded, expected) << "folded, start " << start << ", length " << len;
            }
        }
    }
}

TEST(CRC32, LongRunsAndSplitUpdatesAgree) {
    const auto bytes = patternBytes(1 << 20);
    const std::uint32_t expected = bitwiseCrc(bytes.data(), bytes.size());
    std::uint32_t sliced = 0xFFFFFFFFu;
    crc32impl::updateSliced(bytes.data(), bytes.size(), sliced);
    EXPECT_EQ(~sliced, expected);
    if (crc32impl::foldingAvailable()) {
        std::uint32_t folded = 0xFFFFFFFFu;
        crc32impl::updateFolded(bytes.data(), bytes.size(), folded);
        EXPECT_EQ(~folded, expected);
    }
    // Continuing a running value over pieces of odd sizes.
    std::uint32_t running = 0xFFFFFFFFu;
    std::size_t at = 0;
    for (std::size_t piece = 1; at < bytes.size(); piece = piece * 3 + 7) {
        const std::size_t n = std::min(piece, bytes.size() - at);
        UpdateCRC32(bytes.data() + at, n, running);
        at += n;
    }
    EXPECT_EQ(~running, expected);
}

TEST(CRC32, FileResultCodeIsTheFullErrorNumber) {
    static_assert(std::is_same_v<decltype(CRC32Result::resultCode), int>);
    EXPECT_EQ(FileCRC32("/nonexistent/halcyra/file").resultCode, ENOENT);
    EXPECT_EQ(FileCRC32("/").resultCode, EISDIR);
    EXPECT_NE(FileCRC32("/dev/null").resultCode, 0);
    EXPECT_EQ(FileCRC32("/proc/self/mem").resultCode, EIO);
}
