#include "shell/ProfileValues.h"

#include "detection/CommaText.h"
#include "detection/MaskList.h"
#include "platform/TestHome.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

namespace halcyra {
namespace {

using Masks = std::vector<std::string>;

class ProfileValuesTest : public ::testing::Test {
protected:
    std::string text(const char* name) const { return settings.ReadStringDef(name, "<missing>"); }

    testing::TestHome home;
    TSettings settings{std::string(SettingsRootKey) + "\\Daily"};
};

TEST_F(ProfileValuesTest, StoredValuesLoadAndSaveBack) {
    settings.WriteString("Recursive", "G");
    settings.WriteString("FileMasks", "*.txt, \"My *.doc\",*.Abc");
    settings.WriteString("DisplayLog", "N");
    ProfileValues values = loadProfileValues(settings);
    EXPECT_EQ(values.Recursive, 2);
    EXPECT_EQ(values.FileMasks, (Masks{"*.Abc", "*.txt", "My *.doc"}));
    EXPECT_TRUE(values.DisplayLogChanges && !values.DisplayLog);
    saveProfileValues(settings, values, 1);
    EXPECT_EQ(text("Recursive"), "G");
    EXPECT_EQ(text("DisplayLogChanges"), "N"); // only stored "Y" together with DisplayLog
    values.Recursive = 0;
    values.Source = "/";
    saveProfileValues(settings, values, 1);
    EXPECT_EQ(text("Recursive"), "N");
    EXPECT_EQ(text("Source"), "/");
}

TEST_F(ProfileValuesTest, MaskListsRoundTripThroughTheScannersReader) {
    ProfileValues values;
    values.FileMasks = {"*.txt", "My file.doc", "a,b", "say \"hi\"", "tab\there", " lead", "x\xC3\xA9.*"};
    sortMaskList(values.FileMasks);
    values.ExclFileMasks = {"~*"};
    saveProfileValues(settings, values, 1);
    EXPECT_EQ(splitCommaText(text("FileMasks")), values.FileMasks);
    EXPECT_EQ(loadProfileValues(settings).FileMasks, values.FileMasks);
    EXPECT_EQ(loadProfileValues(settings).ExclFileMasks, Masks{"~*"});
    MaskList scanner;
    EXPECT_EQ(scanner.assign(text("FileMasks"), true), "");
    EXPECT_TRUE(scanner.matchesAny("a,b"));
    EXPECT_TRUE(scanner.matchesAny("say \"hi\""));
    EXPECT_TRUE(scanner.matchesAny(" lead"));
    EXPECT_FALSE(scanner.matchesAny("lead"));
}

TEST(MaskAdding, FileNamePartCaseInsensitiveDuplicatesAndInvalidMasks) {
    Masks masks{"*.txt"};
    std::string error;
    EXPECT_EQ(addMask(masks, "*.TXT", error), MaskAddResult::Duplicate);
    EXPECT_EQ(addMask(masks, "/tmp/logs/*.log", error), MaskAddResult::Added);
    EXPECT_EQ(addMask(masks, "/tmp/", error), MaskAddResult::Empty);
    EXPECT_EQ(addMask(masks, "", error), MaskAddResult::Empty);
    EXPECT_EQ(addMask(masks, "A*", error), MaskAddResult::Added);
    EXPECT_EQ(addMask(masks, "b[a-", error), MaskAddResult::Invalid);
    EXPECT_EQ(error, "'b[a-' is an invalid mask at (2)");
    EXPECT_EQ(addMask(masks, "c[!x]", error), MaskAddResult::Added);
    EXPECT_EQ(error, "");
    EXPECT_EQ(masks, (Masks{"*.log", "*.txt", "A*", "c[!x]"}));
}

TEST_F(ProfileValuesTest, ChangesThatAffectTheNextScan) {
    settings.WriteString("Source", "/srv/Data");
    settings.WriteString("Recursive", "Y");
    settings.WriteString("FileMasks", "*.*");
    const ProfileValues stored = loadProfileValues(settings);
    EXPECT_FALSE(changesAffectResults(settings, stored));
    const std::vector<std::function<void(ProfileValues&)>> changes{
        [](ProfileValues& v) { v.Source = "/srv/data"; }, // letter case alone is another folder
        [](ProfileValues& v) { v.Recursive = 2; },
        [](ProfileValues& v) { v.FileMasks = {"*"}; },
        [](ProfileValues& v) { v.ExclFileMasks = {"*.tmp"}; },
        [](ProfileValues& v) { v.NoHash = true; },
    };
    for (const auto& change : changes) {
        ProfileValues changed = stored;
        change(changed);
        EXPECT_TRUE(changesAffectResults(settings, changed));
    }
    ProfileValues changed = stored;
    changed.DisplayLog = false;
    changed.Eject = true;
    EXPECT_FALSE(changesAffectResults(settings, changed));
    // A missing Recursive is what a run reads as "N": the dialog's "Y" is a change.
    settings.DeleteValue("Recursive");
    EXPECT_TRUE(changesAffectResults(settings, stored));
}

TEST(SourceFolder, ValidationTexts) {
    EXPECT_EQ(folderWithoutTrailingSlash("/a/b//"), "/a/b");
    EXPECT_EQ(folderWithoutTrailingSlash("//"), "/");
    EXPECT_EQ(folderWithoutTrailingSlash("/"), "/");

    testing::TestHome home;
    const std::string root = home.root();
    std::ofstream(root + "/file") << "x";
    std::filesystem::create_directory(root + "/dir");
    std::filesystem::create_directory_symlink(root + "/dir", root + "/link");
    std::filesystem::create_symlink(root + "/loop", root + "/loop");

    EXPECT_EQ(sourceFolderError(""), "You must choose a directory to scan");
    EXPECT_EQ(sourceFolderError(root + "/dir"), "");
    EXPECT_EQ(sourceFolderError(root + "/link"), "");
    EXPECT_EQ(sourceFolderError("/"), "");
    EXPECT_EQ(sourceFolderError(root + "/none"), "The directory " + root + "/none does not exist!");
    EXPECT_EQ(sourceFolderError(root + "/file"), "The directory " + root + "/file does not exist!");
    EXPECT_EQ(sourceFolderError(root + "/file/sub"), "The directory " + root + "/file/sub does not exist!");
    EXPECT_EQ(sourceFolderError(root + "/loop"), "Exception raised: Too many levels of symbolic links");
    EXPECT_EQ(sourceFolderError(std::string("/tmp\0x", 6)),
              "The directory " + std::string("/tmp\0x", 6) + " does not exist!");
}

} // namespace
} // namespace halcyra
