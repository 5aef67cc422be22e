#include "base/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

using namespace halcyra;

TEST(Paths, FolderAndNameSplitAtTheLastSlash) {
    EXPECT_EQ(folderPart("/tmp/a/b.txt"), "/tmp/a/");
    EXPECT_EQ(namePart("/tmp/a/b.txt"), "b.txt");
    EXPECT_EQ(folderPart("b.txt"), "");
    EXPECT_EQ(namePart("b.txt"), "b.txt");
    EXPECT_EQ(folderPart("/"), "/");
    EXPECT_EQ(namePart("dir/"), "");
    EXPECT_EQ(folderPart("a\\b"), "");  // a backslash is an ordinary name byte here
}

TEST(Paths, TrailingSlashIsAddedOnce) {
    EXPECT_EQ(withTrailingSlash("/tmp"), "/tmp/");
    EXPECT_EQ(withTrailingSlash("/tmp/"), "/tmp/");
    EXPECT_EQ(withTrailingSlash("/"), "/");
    EXPECT_EQ(withTrailingSlash(""), "");
}

TEST(Paths, ProgramAndCurrentFolderAreAbsolute) {
    EXPECT_EQ(programPath().front(), '/');
    EXPECT_EQ(programFolder().back(), '/');
    EXPECT_EQ(namePart(programPath()), "base_tests");
    EXPECT_EQ(currentFolder().front(), '/');
    EXPECT_EQ(currentFolder().back(), '/');
}

TEST(Paths, DataFileStemsMustBePathSafe) {
    EXPECT_TRUE(isPathSafeName("Daily"));
    EXPECT_TRUE(isPathSafeName("..."));
    EXPECT_TRUE(isPathSafeName(std::string(200, 'x')));
    EXPECT_FALSE(isPathSafeName(std::string(201, 'x')));
    EXPECT_FALSE(isPathSafeName(""));
    EXPECT_FALSE(isPathSafeName("."));
    EXPECT_FALSE(isPathSafeName(".."));
    EXPECT_FALSE(isPathSafeName("a/b"));
    EXPECT_FALSE(isPathSafeName(std::string("a\0b", 3)));
}

namespace {

// Points an environment variable at a value for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(Paths, DataAndSettingsFoldersFollowXdgAndAreCreated) {
    char pattern[] = "/tmp/halcyra-paths-XXXXXX";
    const std::string root = mkdtemp(pattern);
    {
        ScopedEnv data("XDG_DATA_HOME", (root + "/data/deep").c_str());
        ScopedEnv config("XDG_CONFIG_HOME", (root + "/cfg").c_str());
        EXPECT_EQ(dataFolder(), root + "/data/deep/Halcyra/");
        EXPECT_EQ(settingsFolder(), root + "/cfg/Halcyra/");
        struct stat info {};
        ASSERT_EQ(stat((root + "/data/deep/Halcyra").c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
    {
        // A relative value is ignored, as the XDG rules say.
        ScopedEnv data("XDG_DATA_HOME", "relative");
        ScopedEnv home("HOME", root.c_str());
        EXPECT_EQ(dataFolder(), root + "/.local/share/Halcyra/");
    }
    std::filesystem::remove_all(root);
}
