#include "base/Paths.h"

#include <gtest/gtest.h>

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
