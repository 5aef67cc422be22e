#include "shell/SubFolderTree.h"

#include "detection/FileSettings.h"
#include "detection/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>

namespace halcyra {
namespace {

using Marks = std::vector<std::pair<bool, int>>; // check mark and state image of each row

Marks marksOf(const SubFolderTree& tree) {
    Marks marks;
    for (std::size_t i = 0; i < tree.size(); ++i)
        marks.emplace_back(tree.row(i).checked, tree.row(i).stateImage);
    return marks;
}

std::vector<std::string> captionsOf(const SubFolderTree& tree) {
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < tree.size(); ++i)
        captions.push_back(tree.row(i).caption);
    return captions;
}

SubFolderTree treeOf(const SubFolderList& folders, const KeySet& excluded = {}) {
    SubFolderTree tree;
    tree.fill(folders, excluded);
    return tree;
}

const SubFolderList Scenario{{"/a/", 0}, {"/a/x/", 1}, {"/a/x/y/", 2}, {"/b/", 0}};

TEST(SubFolderTree, UncheckingADeepFolderMarksItsAncestorsPartialAndCheckingRestoresThem) {
    SubFolderTree tree = treeOf(Scenario);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 1}, {true, 1}, {true, 1}, {true, 1}}));

    tree.toggle(2); // uncheck /a/x/y/
    EXPECT_EQ(marksOf(tree), (Marks{{true, 2}, {true, 2}, {false, 0}, {true, 1}}));
    EXPECT_EQ(tree.row(2).smallImage(), 0);
    tree.SetDirChecked(2, true, false);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 1}, {true, 1}, {true, 1}, {true, 1}}));

    tree.SetDirChecked(0, false, false); // uncheck /a/ with its sub-tree
    EXPECT_EQ(marksOf(tree), (Marks{{false, 0}, {false, 0}, {false, 0}, {true, 1}}));
    tree.SetDirChecked(2, true, false); // checking /a/x/y/ checks its ancestors
    EXPECT_EQ(marksOf(tree), (Marks{{true, 1}, {true, 1}, {true, 1}, {true, 1}}));
}

TEST(SubFolderTree, PartialMarksFollowSubTreesNotLaterSiblings) {
    SubFolderTree tree = treeOf({{"/a/", 0}, {"/a/x/", 1}, {"/a/z/", 1}, {"/a/z/w/", 2}, {"/a/z/w/v/", 3}});
    tree.toggle(4);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 2}, {true, 1}, {true, 2}, {true, 2}, {false, 0}}));
    // Unchecking a middle row leaves its parent checked and partial; the row's own children follow it.
    tree.SetDirChecked(4, true, false);
    tree.toggle(2);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 2}, {true, 1}, {false, 0}, {false, 0}, {false, 0}}));
    // Checking one row without its children leaves them unchecked and itself partial.
    tree.SetDirChecked(2, true, true);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 2}, {true, 1}, {true, 2}, {false, 0}, {false, 0}}));
}

TEST(SubFolderTree, FillAppliesExclusionsAndMarksPartialGroups) {
    SubFolderTree tree = treeOf(Scenario, KeySet{"/a/x/", "/b/", "/elsewhere/"});
    EXPECT_EQ(marksOf(tree), (Marks{{true, 2}, {false, 0}, {true, 1}, {false, 0}}));

    KeySet excluded{"/elsewhere/", "/a/"};
    tree.collectExcluded(excluded);
    // Rows decide about their own keys; keys of folders that are not on show stay.
    EXPECT_EQ(excluded, (KeySet{"/a/x/", "/b/", "/elsewhere/"}));
}

TEST(SubFolderTree, BulkCommandsAndNoneChecked) {
    SubFolderTree tree = treeOf(Scenario);
    EXPECT_FALSE(SubFolderTree().noneChecked());
    tree.setAllChecked(false);
    EXPECT_TRUE(tree.noneChecked());
    tree.setRowsChecked({3, 2}, true);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 1}, {true, 1}, {true, 1}, {true, 1}}));
    tree.setRowsChecked({1, 3}, false);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 2}, {false, 0}, {false, 0}, {false, 0}}));
    tree.setAllChecked(true);
    EXPECT_EQ(marksOf(tree), (Marks{{true, 1}, {true, 1}, {true, 1}, {true, 1}}));
    tree.toggle(99); // out of range: nothing
    tree.SetDirChecked(99, false, false);
    EXPECT_FALSE(tree.noneChecked());
}

class SubFolderSelectionTest : public test::DataFolderTest {};

TEST_F(SubFolderSelectionTest, FoldersThatDifferInCaseKeepTheirOwnSubFoldersAndLinksAreNotEntered) {
    test::TestTree tree{{"A/k/", ""}, {"a/k/", ""}, {"a/m/", ""}, {"B/", ""}};
    tree.symlink("..", "a/loop");
    tree.symlink("/proc", "proc");
    SubFolderSelection selection("Profile");
    selection.showFolders(selection.listFolders(tree.root()));
    EXPECT_EQ(captionsOf(selection.tree()),
              (std::vector<std::string>{"/A/", "/A/k/", "/a/", "/a/k/", "/a/m/", "/B/"}));
    selection.tree().toggle(0);
    EXPECT_EQ(marksOf(selection.tree()),
              (Marks{{false, 0}, {false, 0}, {true, 1}, {true, 1}, {true, 1}, {true, 1}}));
}

TEST_F(SubFolderSelectionTest, ExclusionsLoadOnceAndAbsentFoldersSurviveSaving) {
    test::TestTree tree{{"a/x/", ""}, {"b/", ""}};
    KeySet stored{"/a/x/", "/unmounted/"};
    std::string error;
    TFileSettings::SaveExclusionDirs("Profile", &stored, error);
    ASSERT_EQ(error, "");

    SubFolderSelection selection("Profile");
    EXPECT_FALSE(selection.CollectExcludedDirs()); // never filled: nothing to collect
    EXPECT_EQ(selection.excludedDirs(), nullptr);
    EXPECT_TRUE(selection.needsFill(tree.root()));
    EXPECT_FALSE(selection.needsFill(""));
    selection.showFolders(selection.listFolders(tree.root()));
    EXPECT_FALSE(selection.needsFill(tree.root()));
    EXPECT_EQ(marksOf(selection.tree()), (Marks{{true, 2}, {false, 0}, {true, 1}}));

    // The file is read once per showing: later changes of it are not picked up.
    KeySet other{"/b/", ""};
    TFileSettings::SaveExclusionDirs("Profile", &other, error);
    selection.forgetShownDir();
    selection.showFolders(selection.listFolders(tree.root()));
    EXPECT_EQ(marksOf(selection.tree()), (Marks{{true, 2}, {false, 0}, {true, 1}}));

    selection.tree().toggle(2);
    ASSERT_TRUE(selection.CollectExcludedDirs());
    EXPECT_EQ(selection.saveExcludedDirs(), "");
    KeySet saved;
    TFileSettings::LoadExclusionDirs("Profile", &saved, error);
    EXPECT_EQ(saved, (KeySet{"/a/x/", "/b/", "/unmounted/"}));

    // A store that cannot be written says so, and the previous list stays.
    const std::string file = TFileSettings::ExclusionDirFileName("Profile");
    ASSERT_EQ(std::rename(file.c_str(), (file + ".kept").c_str()), 0);
    ASSERT_EQ(::mkdir(file.c_str(), 0700), 0);
    selection.tree().toggle(2);
    ASSERT_TRUE(selection.CollectExcludedDirs());
    EXPECT_NE(selection.saveExcludedDirs(), "");
    ASSERT_EQ(::rmdir(file.c_str()), 0);
    ASSERT_EQ(std::rename((file + ".kept").c_str(), file.c_str()), 0);
    TFileSettings::LoadExclusionDirs("Profile", &saved, error);
    EXPECT_EQ(saved, (KeySet{"/a/x/", "/b/", "/unmounted/"}));
}

TEST_F(SubFolderSelectionTest, FolderComparisonIsExact) {
    test::TestTree tree{{"Data/", ""}};
    SubFolderSelection selection("Profile");
    selection.listFolders(tree.root() + "Data");
    EXPECT_TRUE(selection.needsFill(tree.root() + "data"));
    EXPECT_FALSE(selection.needsFill(tree.root() + "Data"));
    // A folder that cannot be listed gives an empty tree.
    selection.showFolders(selection.listFolders(tree.root() + "missing"));
    EXPECT_TRUE(selection.tree().empty());
}

} // namespace
} // namespace halcyra
