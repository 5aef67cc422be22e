#include "base/LongPath.h"

#include "DeepTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

using namespace halcyra;

namespace {

class LongPath : public ::testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/longXXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        const std::map<std::string, std::string> files{{"file", "deep contents"}};
        m_deep = halcyra::testing::buildDeepTree(m_root, 40, 200, files);
        ASSERT_GT(m_root.size() + 1 + m_deep.size(), std::size_t{PATH_MAX});
    }
    void TearDown() override { std::filesystem::remove_all(m_root); }

    // The text of the file `path`, or "error N" with the errno value when it cannot be opened.
    static std::string readAll(const std::string& path) {
        const int fd = openLongPath(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return "error " + std::to_string(errno);
        }
        std::string text(100, '\0');
        const ssize_t got = ::read(fd, text.data(), text.size());
        ::close(fd);
        text.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return text;
    }

    std::string m_root; // no trailing '/'
    std::string m_deep; // relative to m_root, trailing '/'
};

} // namespace

TEST_F(LongPath, OpensAndStatsBelowPathMaxByAbsoluteAndRelativePath) {
    const std::string absolute = m_root + "/" + m_deep + "file";
    ASSERT_EQ(::access(absolute.c_str(), F_OK), -1);
    ASSERT_EQ(errno, ENAMETOOLONG); // the direct call cannot reach it
    EXPECT_EQ(readAll(absolute), "deep contents");
    struct stat st {};
    ASSERT_EQ(statLongPath(absolute, st, true), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 13);

    const std::string cwd = std::filesystem::current_path();
    ASSERT_EQ(::chdir(m_root.c_str()), 0);
    EXPECT_EQ(readAll(m_deep + "file"), "deep contents");
    EXPECT_EQ(statLongPath(m_deep + "file", st, false), 0);
    ASSERT_EQ(::chdir(cwd.c_str()), 0);

    // Created deep down, then read back.
    const int fd = openLongPath(m_root + "/" + m_deep + "new", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);
    EXPECT_EQ(readAll(m_root + "/" + m_deep + "new"), "x");
    // Trailing slashes name the folder itself.
    const int folder = openLongPath(m_root + "/" + m_deep + "//", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(folder, 0);
    ::close(folder);
}

TEST_F(LongPath, StatFollowsOrKeepsLinksAndFailuresKeepTheirReason) {
    const std::string deep = m_root + "/" + m_deep;
    const int folder = openLongPath(deep, O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    ASSERT_EQ(::symlinkat("file", folder, "link"), 0);
    ::close(folder);
    struct stat st {};
    ASSERT_EQ(statLongPath(deep + "link", st, false), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(statLongPath(deep + "link", st, true), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));

    EXPECT_EQ(readAll(deep + "missing"), "error " + std::to_string(ENOENT));
    EXPECT_EQ(statLongPath(deep + "missing", st, true), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(readAll(deep + "file/below"), "error " + std::to_string(ENOTDIR));
    EXPECT_EQ(readAll(deep + std::string(300, 'n')), "error " + std::to_string(ENAMETOOLONG));
    // One name longer than a whole chunk cannot be walked.
    EXPECT_EQ(readAll(m_root + "/" + std::string(PATH_MAX + 10, 'n') + "/file"),
              "error " + std::to_string(ENAMETOOLONG));
    EXPECT_EQ(readAll(std::string("ab\0c", 4)), "error " + std::to_string(ENOENT));
    EXPECT_EQ(openLongPath("", O_RDONLY), -1);
}

// A run of extra slashes that grows across the first chunk's end moves every later chunk boundary
// across names and slashes alike: each chunk must stay within PATH_MAX, and no chunk after the
// first may start with '/' (it would be resolved from the root).
TEST_F(LongPath, EveryChunkBoundaryPositionReachesTheFile) {
    const std::string path = m_root + "/" + m_deep + "file";
    std::size_t at = path.size();
    for (std::size_t slash = path.find('/'); slash < PATH_MAX - 100; slash = path.find('/', slash + 1)) {
        at = slash;
    }
    for (std::size_t extra = 0; extra <= 320; ++extra) {
        std::string padded = path;
        padded.insert(at, extra, '/');
        ASSERT_EQ(readAll(padded), "deep contents") << extra << " extra slashes";
    }
}
