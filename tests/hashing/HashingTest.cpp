#include "hashing/Hashing.h"
#include "hashing/CRC32.h"
#include "hashing/FileReader.h"
#include "hashing/Md5Engine.h"

#include "../base/DeepTree.h"
#include "base/LongPath.h"

#include <gtest/gtest.h>

#include <tuple>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace halcyra;

namespace {

std::vector<std::uint8_t> patternBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    for (auto& b : bytes) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        b = static_cast<std::uint8_t>(x >> 56);
    }
    return bytes;
}

std::string md5Text(const std::vector<std::uint8_t>& bytes) {
    Md5Context md5;
    md5.update(bytes.data(), bytes.size());
    std::uint8_t digest[16];
    md5.finish(digest);
    std::string text;
    char pair[3];
    for (const std::uint8_t b : digest) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        text += pair;
    }
    return text;
}

std::string crcText(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const std::uint8_t b : bytes) {
        crc = CRC32Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08X", ~crc);
    return text;
}

// Whether `text` is `digits` upper-case hexadecimal digits.
bool isUpperHex(const std::string& text, std::size_t digits) {
    return text.size() == digits && text.find_first_not_of("0123456789ABCDEF") == std::string::npos;
}

class FileHashing : public ::testing::Test {
protected:
    void SetUp() override { m_dir = halcyra::testing::makeTempFolder("hash") + "/"; }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    std::string writeFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = m_dir + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (f != nullptr) {
            if (!bytes.empty()) {
                EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
            }
            std::fclose(f);
        }
        return path;
    }

    // Both kinds give the empty text for `path`.
    void expectUnreadable(const std::string& path) {
        EXPECT_EQ(m_md5.HashFile(path), "") << path;
        EXPECT_EQ(m_crc.HashFile(path), "") << path;
    }

    std::string m_dir;
    TFileHashing m_md5{TFileHashing::KindMD5};
    TFileHashing m_crc{TFileHashing::KindCRC32};
};

} // namespace

TEST_F(FileHashing, EmptyFileHasTheKnownHashes) {
    const std::string path = writeFile("empty", {});
    EXPECT_EQ(m_md5.HashFile(path), EmptyFileMD5);
    EXPECT_EQ(m_md5.HashFile(path), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(m_crc.HashFile(path), "00000000");
}

TEST_F(FileHashing, SizesAroundBlockEdgesMatchTheInMemoryDigests) {
    const std::size_t sizes[] = {1,
                                 55,
                                 56,
                                 63,
                                 64,
                                 65,
                                 4095,
                                 4096,
                                 4097,
                                 8192,
                                 FileBlockSize - 1,
                                 FileBlockSize,
                                 FileBlockSize + 1,
                                 3 * FileBlockSize};
    for (const std::size_t size : sizes) {
        const auto bytes = patternBytes(size);
        const std::string path = writeFile("f" + std::to_string(size), bytes);
        const std::string md5 = m_md5.HashFile(path);
        const std::string crc = m_crc.HashFile(path);
        EXPECT_EQ(md5, md5Text(bytes)) << "size " << size;
        EXPECT_EQ(crc, crcText(bytes)) << "size " << size;
        EXPECT_TRUE(isUpperHex(md5, 32)) << md5;
        EXPECT_TRUE(isUpperHex(crc, 8)) << crc;
    }
}

TEST_F(FileHashing, KnownContentsGiveKnownUpperCaseTexts) {
    const std::string text = "123456789";
    const std::string path = writeFile("digits", {text.begin(), text.end()});
    EXPECT_EQ(m_md5.HashFile(path), "25F9E794323B453885F5181F1B624D0B");
    EXPECT_EQ(m_crc.HashFile(path), "CBF43926");
    const std::string small = writeFile("small", {'6', '2'});
    EXPECT_EQ(m_crc.HashFile(small), "0012D20A"); // leading zeros kept
}

TEST_F(FileHashing, OldModificationDatesDoNotMatter) {
    const auto bytes = patternBytes(1000);
    const std::string path = writeFile("old", bytes);
    for (const time_t when : {time_t{10 * 86400}, time_t{298252800} /* mid-1979 */}) {
        const timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        EXPECT_EQ(m_md5.HashFile(path), md5Text(bytes));
        EXPECT_EQ(m_crc.HashFile(path), crcText(bytes));
    }
}

TEST_F(FileHashing, FilesBeyondFourGibibytesHashCorrectly) {
    // Sparse: 4 GiB + 4097 bytes of zeros with "Halcyra" across the 4 GiB mark.
    const std::string path = m_dir + "sparse";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const off_t fourGiB = off_t{1} << 32;
    if (::ftruncate(fd, fourGiB + 4097) != 0) {
        ::close(fd);
        GTEST_SKIP() << "the temporary folder does not hold a file of over 4 GiB";
    }
    ASSERT_EQ(::pwrite(fd, "Halcyra", 7, fourGiB - 3), 7);
    ::close(fd);
    EXPECT_EQ(m_crc.HashFile(path), "9B51F473");
    EXPECT_EQ(m_md5.HashFile(path), "C30045016ECBD39B1FB5F9D750EB4EA6");
}

TEST_F(FileHashing, LinksAreFollowedAndOpenWritersDoNotStopReading) {
    const auto bytes = patternBytes(5000);
    const std::string path = writeFile("target", bytes);
    ASSERT_EQ(::symlink(path.c_str(), (m_dir + "link").c_str()), 0);
    EXPECT_EQ(m_md5.HashFile(m_dir + "link"), md5Text(bytes));
    const int writer = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(m_md5.HashFile(path), md5Text(bytes));
    EXPECT_EQ(m_crc.HashFile(path), crcText(bytes));
    ::close(writer);
}

TEST_F(FileHashing, AnythingButARegularFileGivesTheEmptyText) {
    ASSERT_EQ(::mkdir((m_dir + "folder").c_str(), 0700), 0);
    expectUnreadable(m_dir + "folder");
    expectUnreadable(m_dir + "missing");
    expectUnreadable("");
    ASSERT_EQ(::symlink((m_dir + "nowhere").c_str(), (m_dir + "dangling").c_str()), 0);
    expectUnreadable(m_dir + "dangling");
    // Opening a FIFO without a writer would block, and /dev/zero would never end.
    ASSERT_EQ(::mkfifo((m_dir + "fifo").c_str(), 0600), 0);
    expectUnreadable(m_dir + "fifo");
    expectUnreadable("/dev/zero");
    expectUnreadable("/dev/null");

    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = m_dir + "sock";
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    sockPath.copy(addr.sun_path, sockPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    expectUnreadable(sockPath);
    ::close(sock);
}

TEST_F(FileHashing, ReadFailureOrHostileNameGivesTheEmptyText) {
    // Stat calls it a regular file and it opens, but reading it fails.
    expectUnreadable("/proc/self/mem");
    // A NUL inside the name must not hash the file named by the part before it.
    const std::string path = writeFile("real", patternBytes(10));
    expectUnreadable(path + std::string(1, '\0') + "more");
}

TEST_F(FileHashing, FailedFileDoesNotAffectTheNext) {
    const auto bytes = patternBytes(70000);
    const std::string path = writeFile("good", bytes);
    const std::string md5 = md5Text(bytes);
    const std::string crc = crcText(bytes);
    for (const char* bad : {"/proc/self/mem", "/nonexistent", "/"}) {
        EXPECT_EQ(m_md5.HashFile(bad), "");
        EXPECT_EQ(m_md5.HashFile(path), md5);
        EXPECT_EQ(m_crc.HashFile(bad), "");
        EXPECT_EQ(m_crc.HashFile(path), crc);
    }
}

TEST_F(FileHashing, OtherKindsHashNothing) {
    const std::string path = writeFile("some", patternBytes(100));
    for (const int kind : {2, 3, 255}) {
        TFileHashing hasher(static_cast<std::uint8_t>(kind));
        EXPECT_EQ(hasher.HashType(), kind);
        EXPECT_EQ(hasher.HashFile(path), "");
    }
    EXPECT_EQ(CannotOpenFilePlaceholder, "________CANNOT_OPEN_FILE________");
    EXPECT_EQ(CannotOpenFilePlaceholder.size(), 32u);
}

// "a" repeated n times (digests from md5sum and openssl dgst -md5, CRC-32 from zlib): the padding
// boundaries of MD5 and the edges of the reader's blocks.
TEST_F(FileHashing, KnownDigestsAtPaddingAndBlockBoundaries) {
    static_assert(FileBlockSize == 131072, "the table's last rows straddle one read block");
    const std::tuple<std::size_t, const char*, const char*> known[] = {
        {55, "EF1772B6DFF9A122358552954AD0DF65", "AADFE34E"},
        {56, "3B0C8AC703F828B04C6C197006D17218", "79790D37"},
        {57, "652B906D60AF96844EBD21B674F35E93", "50736241"},
        {63, "B06521F39153D618550606BE297466D5", "6824C5DE"},
        {64, "014842D480B571495A4A0363793F7367", "89B46555"},
        {119, "8A7BD0732ED6A28CE75F6DABC90E1613", "4144EBAE"},
        {120, "5F61C0CCAD4CAC44C75FF505E1F1E537", "D9987447"},
        {131071, "95AB09FD1F3A9F122B358A9592D71CB4", "22F9CAB6"},
        {131072, "81615449A98AAAAD8DC179B3BEC87F38", "CA975130"},
        {131073, "3124E19245CFD2C84A969CCB84B4B2BD", "CEA419BE"},
    };
    for (const auto& [size, md5, crc] : known) {
        const std::string path = writeFile("a" + std::to_string(size), std::vector<std::uint8_t>(size, 'a'));
        EXPECT_EQ(m_md5.HashFile(path), md5) << "size " << size;
        EXPECT_EQ(m_crc.HashFile(path), crc) << "size " << size;
    }
}

// These stat as regular files but block when read: they must give the empty text at once.
TEST_F(FileHashing, FilesThatWouldBlockAreUnreadable) {
    const std::string fifo = m_dir + "fifo"; // its writer stays open: opening it would not block
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    expectUnreadable(fifo);
    ::close(writer);
    ::close(reader);
    const int kmsg = ::open("/proc/kmsg", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (kmsg < 0)
        GTEST_SKIP() << "/proc/kmsg cannot be opened here";
    struct stat st {};
    ASSERT_EQ(::fstat(kmsg, &st), 0);
    ::close(kmsg);
    ASSERT_EQ(::symlink("/proc/kmsg", (m_dir + "kmsg").c_str()), 0);
    expectUnreadable(m_dir + "kmsg");
    EXPECT_EQ(m_md5.HashFileAt(AT_FDCWD, "/proc/kmsg", st), "");
}

TEST_F(FileHashing, PathsBeyondPathMaxAndEntriesOfAnOpenFolder) {
    const std::string deep =
        m_dir + halcyra::testing::buildDeepTree(m_dir, 40, 200, {{"abc", "abc"}, {"x", "x"}});
    EXPECT_EQ(m_md5.HashFile(deep + "abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(m_crc.HashFile(deep + "abc"), "352441C2");
    const int folder = openLongPath(deep, O_PATH | O_DIRECTORY | O_CLOEXEC);
    struct stat abc {
    }, x{};
    ASSERT_EQ(::fstatat(folder, "abc", &abc, 0), 0);
    ASSERT_EQ(::fstatat(folder, "x", &x, 0), 0);
    EXPECT_EQ(m_crc.HashFileAt(folder, "abc", abc), "352441C2");
    EXPECT_EQ(m_md5.HashFileAt(folder, "abc", x), ""); // no longer the file the caller looked at
    // Entries a listing named, looked at only once open (or when they cannot be opened), by folder or path.
    ASSERT_EQ(::mkdirat(folder, "sub", 0700), 0);
    ASSERT_EQ(::mkfifoat(folder, "fifo", 0600), 0);
    ASSERT_EQ(::symlinkat("/proc/self/mem", folder, "mem"), 0);
    ASSERT_EQ(::symlinkat("mem", folder, "loop"), 0);
    ASSERT_EQ(::unlinkat(folder, "mem", 0), 0);
    ASSERT_EQ(::symlinkat("loop", folder, "mem"), 0); // a loop of links: ELOOP, there but not looked at
    const std::tuple<const char*, const char*, mode_t> listed[] = {{"abc", "352441C2", S_IFREG},
                                                                   {"gone", "", 0},
                                                                   {"sub", "", S_IFDIR},
                                                                   {"fifo", "", S_IFIFO},
                                                                   {"mem", "", 0}};
    for (const auto& [name, crc, type] : listed) {
        for (const bool byPath : {false, true}) {
            EXPECT_EQ(byPath ? m_crc.HashListedFileAt(AT_FDCWD, deep + name, {})
                             : m_crc.HashListedFileAt(folder, name, {}),
                      crc)
                << name;
            const struct stat* found = m_crc.LastFileStat();
            EXPECT_EQ(found != nullptr ? found->st_mode & S_IFMT : 0, type) << name;
        }
    }
    EXPECT_EQ(m_md5.HashListedFileAt(AT_FDCWD, "/proc/self/mem", {}), ""); // opens, cannot be read
    ASSERT_NE(m_md5.LastFileStat(), nullptr);
    EXPECT_TRUE(S_ISREG(m_md5.LastFileStat()->st_mode));
    ::close(folder);
}

// Files of /proc and /sys say they hold nothing or a page, and hold something else.
TEST_F(FileHashing, PseudoFilesAreReadToTheirEndWhateverSizeTheyClaim) {
    for (const char* path : {"/proc/version", "/sys/devices/system/cpu/online"}) {
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        struct stat st {};
        if (text.empty() || ::stat(path, &st) != 0 || st.st_size == static_cast<off_t>(text.size()))
            continue;
        EXPECT_EQ(m_md5.HashFile(path), md5Text({text.begin(), text.end()})) << path;
        EXPECT_EQ(m_crc.HashFile(path), crcText({text.begin(), text.end()})) << path;
    }
}

TEST_F(FileHashing, StopPollEndsAMultiBlockFileOnlyWhenItSaysSo) {
    const std::string path = writeFile("zeros", {}); // 12 MiB of zero bytes
    ASSERT_EQ(::truncate(path.c_str(), 12 << 20), 0);
    for (TFileHashing* hasher : {&m_md5, &m_crc}) {
        const std::string expected = hasher == &m_md5 ? "EFEEBDDA98EC1D7FB2AD83D23F0713BF" : "01FB2CCD";
        int calls = 0;
        EXPECT_EQ(hasher->HashFile(path, [&calls] { return ++calls == 2; }), ""); // in the middle
        EXPECT_TRUE(hasher->LastHashStopped());
        EXPECT_EQ(calls, 2);
        calls = 0; // asked at least every 4 MiB; answering no changes nothing
        EXPECT_EQ(hasher->HashFile(path, [&calls] { return ++calls < 0; }), expected);
        EXPECT_FALSE(hasher->LastHashStopped());
        EXPECT_GE(calls, 2);
        // Unreadable is not stopped, and the flag belongs to the last call only.
        EXPECT_EQ(hasher->HashFile(path, [] { return true; }), "");
        EXPECT_EQ(hasher->HashFile("/proc/self/mem", [] { return false; }), "");
        EXPECT_FALSE(hasher->LastHashStopped());
    }
}
