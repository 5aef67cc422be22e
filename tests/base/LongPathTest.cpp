#include "base/LongPath.h"

#include "DeepTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace halcyra;

namespace {

// The text of the file `path`, or "error N" with the errno value when it cannot be opened.
std::string readAll(const std::string& path) {
    const int fd = openLongPath(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "error " + std::to_string(errno);
    std::string text(100, '\0');
    text.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(fd, text.data(), text.size()))));
    ::close(fd);
    return text;
}

class LongPath : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = halcyra::testing::makeTempFolder("long");
        m_deep = m_root + "/" + halcyra::testing::buildDeepTree(m_root, 40, 200, {{"file", "deep contents"}});
        ASSERT_GT(m_deep.size(), std::size_t{PATH_MAX});
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    std::string m_root; // no trailing '/'
    std::string m_deep; // the deepest folder, trailing '/'
};

} // namespace

TEST_F(LongPath, OpensStatsAndCreatesBeyondPathMaxByAbsoluteAndRelativePath) {
    EXPECT_EQ(readAll(m_deep + "file"), "deep contents");
    const std::string cwd = std::filesystem::current_path();
    ASSERT_EQ(::chdir(m_root.c_str()), 0);
    EXPECT_EQ(readAll(m_deep.substr(m_root.size() + 1) + "file"), "deep contents");
    ASSERT_EQ(::chdir(cwd.c_str()), 0);

    const int folder = openLongPath(m_deep + "//", O_PATH | O_DIRECTORY | O_CLOEXEC); // the folder itself
    ASSERT_GE(folder, 0);
    ASSERT_EQ(::symlinkat("file", folder, "link"), 0);
    struct stat st {};
    struct stat viaSlashes {};
    ASSERT_EQ(::fstat(folder, &st), 0);
    ::close(folder);
    // A run of slashes across a chunk's end leaves the folder itself to be named.
    ASSERT_EQ(statLongPath(m_deep + std::string(PATH_MAX, '/'), viaSlashes, false), 0);
    EXPECT_EQ(viaSlashes.st_ino, st.st_ino);
    ASSERT_EQ(statLongPath(m_deep + "link", st, false), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(statLongPath(m_deep + "link", st, true), 0);
    EXPECT_EQ(st.st_size, 13);
    ::close(openLongPath(m_deep + "new", O_WRONLY | O_CREAT | O_CLOEXEC, 0640));
    ASSERT_EQ(statLongPath(m_deep + "new", st, false), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u & ~static_cast<unsigned>(::umask(::umask(0))));
}

TEST_F(LongPath, FailuresKeepTheirReason) {
    struct stat st {};
    EXPECT_EQ(statLongPath(m_deep + "missing", st, true), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(readAll(m_deep + "file/below"), "error " + std::to_string(ENOTDIR));
    // One name longer than a whole chunk cannot be walked.
    EXPECT_EQ(readAll(m_root + "/" + std::string(PATH_MAX + 10, 'n') + "/file"),
              "error " + std::to_string(ENAMETOOLONG));
    EXPECT_EQ(readAll(std::string("/dev/null\0x", 11)), "error " + std::to_string(ENOENT));
    EXPECT_EQ(statLongPath(std::string("/\0x", 3), st, true), -1);
    EXPECT_EQ(errno, ENOENT);
}

// A run of extra slashes that grows across the first chunk's end moves every later chunk boundary
// across names and slashes alike: each chunk must stay within PATH_MAX, and no chunk after the
// first may start with '/' (it would be resolved from the root).
TEST_F(LongPath, EveryChunkBoundaryPositionReachesTheFile) {
    const std::string path = m_deep + "file";
    std::size_t at = 0;
    for (std::size_t slash = path.find('/'); slash < PATH_MAX - 100; slash = path.find('/', slash + 1))
        at = slash;
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = openFiles();
    for (std::size_t extra = 0; extra <= 320; ++extra) {
        std::string padded = path;
        padded.insert(at, extra, '/');
        ASSERT_EQ(readAll(padded), "deep contents") << extra << " extra slashes";
    }
    EXPECT_EQ(openFiles(), before); // every folder opened on the way is closed
}
