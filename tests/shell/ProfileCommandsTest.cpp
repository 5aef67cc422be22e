#include "HousekeepingTestSupport.h"

#include "base/Paths.h"
#include "base/Product.h"
#include "detection/FileSettings.h"
#include "detection/Log.h"
#include "scheduling/ScheduleLookups.h"
#include "shell/GroupMembers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace halcyra;

namespace {

using Texts = std::vector<std::string>;

constexpr const char* FirstRun =
    "The first run of a profile will indicate that all the files in the directory "
    "have been changed. Would you like to run this scan now? ";

bool fileThere(const std::string& path) {
    return std::filesystem::exists(path);
}

void touch(const std::string& path) {
    test::writeText(path, "x");
}

class ProfileCommandsTest : public test::HousekeepingTest {
protected:
    bool scheduled(const std::string& profile) {
        bool shared = false;
        return IsProfileScheduled(profile, shared);
    }
};

TEST_F(ProfileCommandsTest, NewOrdinaryProfileConfirmedOffersItsFirstRun) {
    ui.queueText(std::string(" Daily "));
    ui.queueButton(ButtonYes);
    duringEdit = [](TSettings& settings) { settings.WriteInteger("ProfileType", 1); };
    EXPECT_TRUE(commands().newProfile());
    EXPECT_EQ(calls, (Texts{"type 0", "new ordinary 1 Daily", "run Daily"}));
    EXPECT_EQ(messages(), (Texts{FirstRun}));
    EXPECT_EQ(ui.requests().back().buttons, ButtonYes | ButtonNo);
}

TEST_F(ProfileCommandsTest, NewGroupConfirmedAsksTheFirstRunQuestionUnlessItLeftNoKey) {
    chosenType = 2;
    ui.queueText(std::string("Weekly"));
    ui.queueButton(ButtonNo);
    duringEdit = [this](TSettings& group) { saveGroupMembers(root, group, {"Daily"}); };
    EXPECT_TRUE(commands().newProfile());
    EXPECT_EQ(calls, (Texts{"type 0", "group Weekly"}));
    EXPECT_EQ(messages(), (Texts{FirstRun}));

    calls.clear();
    ui.queueText(std::string("Empty"));
    duringEdit = [this](TSettings& group) { saveGroupMembers(root, group, {}); };
    EXPECT_TRUE(commands().newProfile());
    EXPECT_EQ(calls, (Texts{"type 0", "group Empty"}));
    EXPECT_EQ(messages().size(), 1u); // no second first-run question
    EXPECT_FALSE(exists("Empty"));
}

TEST_F(ProfileCommandsTest, NewProfileEndsQuietlyWhenTypeOrNameIsNotGiven) {
    typeConfirmed = false;
    EXPECT_FALSE(commands().newProfile());
    typeConfirmed = true;
    chosenType = 0;
    EXPECT_FALSE(commands().newProfile());
    EXPECT_TRUE(ui.requests().empty());
    chosenType = 1;
    ui.queueText(std::string("   "));
    EXPECT_FALSE(commands().newProfile());
    EXPECT_EQ(calls, (Texts{"type 0", "type 0", "type 0"}));
}

TEST_F(ProfileCommandsTest, CancelledNewProfileRemovesItsKeyAndTheTaskMadeForItOnly) {
    addProfile("Other", 1);
    schedule("Halcyra Old", "\"Kept\"");
    editConfirmed = false;
    duringEdit = [this](TSettings& settings) {
        settings.WriteString("Source", "/srv");
        schedule("Halcyra " + settings.KeyName(), "\"" + settings.KeyName() + "\"");
    };
    ui.queueText(std::string("Fresh"));
    EXPECT_TRUE(commands().newProfile());
    EXPECT_FALSE(exists("Fresh"));
    EXPECT_FALSE(scheduled("Fresh"));
    EXPECT_TRUE(messages().empty());

    // A task made in the dialog that also runs another profile stays, as does one that ran the name before.
    chosenType = 2;
    duringEdit = [this](TSettings& group) {
        group.WriteString("Name0", "Other");
        schedule("Halcyra Both", "\"Shared\" \"Other\"");
    };
    ui.queueText(std::string("Shared"));
    EXPECT_TRUE(commands().newProfile());
    EXPECT_FALSE(exists("Shared"));
    EXPECT_TRUE(scheduled("Shared"));
    EXPECT_EQ(calls.back(), "group Shared");
    duringEdit = nullptr;
    ui.queueText(std::string("Kept"));
    EXPECT_TRUE(commands().newProfile());
    EXPECT_TRUE(scheduled("Kept"));
}

TEST_F(ProfileCommandsTest, ModifyOpensTheEditorOfTheStoredKind) {
    addProfile("Daily", 1);
    addProfile("Weekly", 258);
    addProfile("Odd", 3);
    EXPECT_TRUE(commands().modifyProfile({"Daily", "Weekly"}));
    EXPECT_TRUE(commands().modifyProfile({"Weekly"}));
    EXPECT_FALSE(commands().modifyProfile({"Odd"}));
    EXPECT_FALSE(commands().modifyProfile({}));
    editConfirmed = false;
    EXPECT_FALSE(commands().modifyProfile({"Daily"}));
    EXPECT_EQ(calls, (Texts{"modify ordinary 1 Daily", "group Weekly", "modify ordinary 1 Daily"}));
}

TEST_F(ProfileCommandsTest, DeleteAsksPerProfileAndPerFileAndHandlesOwnAndSharedTasks) {
    for (const char* name : {"A", "B", "C", "E"})
        addProfile(name, 1);
    schedule("Halcyra A", "\"A\"");
    schedule("Halcyra Both", "-i \"B\" \"C\"");
    touch(TFileSettings::ResultsFileName("A"));
    touch(*TLog::LogFileName("A", 1));
    touch(*TLog::LogFileName("A", 2));
    touch(TFileSettings::ExclusionDirFileName("B"));
    std::filesystem::create_directory(TFileSettings::ExclusionFileName("A")); // no file: nothing to ask

    ui.queueButton(ButtonYes); // delete A
    ui.queueButton(ButtonYes); // its results file
    ui.queueButton(ButtonNo);  // its log pages
    ui.queueButton(ButtonNo);  // delete E: no
    ui.queueButton(ButtonYes); // delete B
    ui.queueButton(ButtonOk);  // the shared-task note
    ui.queueButton(ButtonNo);  // its folder exclusion list (an empty name is no profile: no question)
    EXPECT_TRUE(commands().DeleteProfiles({"A", "", "E", "B"}));

    EXPECT_EQ(
        messages(),
        (Texts{"Are you sure you want to delete the profile A?", "Also delete the profiles results file?",
               "Also delete the profiles log files?", "Are you sure you want to delete the profile E?",
               "Are you sure you want to delete the profile B?",
               "The profiles scheduled task is shared with other profiles. Please now edit or "
               "delete the schedule task to remove the profile.",
               "Also delete the profiles directory exclusion list?"}));
    EXPECT_FALSE(ui.scriptMismatch());
    EXPECT_EQ(calls, (Texts{"schedule B|"}));
    EXPECT_FALSE(exists("A"));
    EXPECT_FALSE(exists("B"));
    EXPECT_TRUE(exists("C"));
    EXPECT_TRUE(exists("E"));
    EXPECT_FALSE(scheduled("A"));
    EXPECT_TRUE(scheduled("C"));
    EXPECT_FALSE(fileThere(TFileSettings::ResultsFileName("A")));
    EXPECT_TRUE(fileThere(*TLog::LogFileName("A", 2)));
    EXPECT_TRUE(fileThere(TFileSettings::ExclusionDirFileName("B")));
}

TEST_F(ProfileCommandsTest, DeleteGoesOnWhenAFileVanishesBeforeItsQuestionIsAnswered) {
    // Another process removes each file while its question is open.
    class Vanishing : public ScriptedUiServices {
    public:
        MessageButton messageBox(MessageKind kind, std::string_view title, std::string_view text,
                                 MessageButtons buttons, MessageButton defaultButton) override {
            if (text.find("Also delete") != std::string_view::npos)
                for (const std::string& file :
                     {TFileSettings::ResultsFileName("A"), TFileSettings::ExclusionFileName("A"),
                      *TLog::LogFileName("A", 1)})
                    ::unlink(file.c_str());
            return ScriptedUiServices::messageBox(kind, title, text, buttons, defaultButton);
        }
    } vanishing;
    addProfile("A", 1);
    touch(TFileSettings::ResultsFileName("A"));
    touch(TFileSettings::ExclusionFileName("A"));
    touch(*TLog::LogFileName("A", 1));
    for (int i = 0; i < 4; ++i)
        vanishing.queueButton(ButtonYes);
    EXPECT_TRUE(ProfileCommands(root, vanishing, recordingEntries()).DeleteProfiles({"A"}));
    EXPECT_FALSE(exists("A"));
    ASSERT_EQ(vanishing.requests().size(), 2u); // the later files were already gone when asked about
    EXPECT_EQ(vanishing.requests().back().text, "Also delete the profiles results file?");
}

TEST_F(ProfileCommandsTest, DeleteKeepsAProfileWhoseTaskStaysAndStopsWhenTasksCannotBeListed) {
    addProfile("A", 1);
    addProfile("B", 1);
    schedule("Halcyra A", "\"A\"");
    touch(TFileSettings::ExclusionFileName("A"));
    crontab->failWrite = true;
    ui.queueButton(ButtonYes); // delete A
    ui.queueButton(ButtonOk);  // its task could not be deleted
    ui.queueButton(ButtonYes); // delete B
    EXPECT_TRUE(commands().DeleteProfiles({"A", "B"}));
    EXPECT_EQ(messages(), (Texts{"Are you sure you want to delete the profile A?",
                                 "There was an error trying to delete the schedule.",
                                 "Are you sure you want to delete the profile B?"}));
    EXPECT_TRUE(exists("A"));
    EXPECT_TRUE(scheduled("A"));
    EXPECT_TRUE(fileThere(TFileSettings::ExclusionFileName("A")));
    EXPECT_FALSE(exists("B"));

    // A task folder that cannot be read: the look-up's error, and no profile is deleted.
    crontab->failWrite = false;
    addProfile("C", 1);
    std::filesystem::remove_all(folder.path("Tasks"));
    test::writeText(folder.path("Tasks"), "not a folder");
    ui.queueButton(ButtonYes);
    ui.queueButton(ButtonOk);
    EXPECT_TRUE(commands().DeleteProfiles({"A", "C"}));
    ASSERT_EQ(messages().size(), 5u);
    EXPECT_NE(messages()[4].find("SchedulingAgent.Enum"), std::string::npos) << messages()[4];
    EXPECT_TRUE(exists("A"));
    EXPECT_TRUE(exists("C"));
    EXPECT_FALSE(ui.scriptMismatch());
}

TEST_F(ProfileCommandsTest, EmptiedGroupGoesWithItsOwnTaskAndStaysWhenTheTaskCannotGo) {
    addProfile("A", 1);
    addProfile("Own", 2);
    addProfile("Both", 2);
    schedule("Halcyra Own", "\"Own\"");
    schedule("Halcyra Both", "\"Both\" \"A\"");
    const ScheduleEditor editor = [this](std::string_view profile, std::string_view) {
        calls.push_back("schedule " + std::string(profile));
    };
    TSettings own(key("Own"));
    TSettings both(key("Both"));
    EXPECT_TRUE(storeGroupMembers(ui, root, own, {"A"}, editor));
    EXPECT_TRUE(scheduled("Own"));

    crontab->failWrite = true;
    ui.queueButton(ButtonOk);
    EXPECT_FALSE(storeGroupMembers(ui, root, own, {}, editor));
    EXPECT_TRUE(exists("Own"));
    EXPECT_EQ(TSettings(key("Own")).ReadStringDef("Name0", ""), "A");
    crontab->failWrite = false;
    EXPECT_TRUE(storeGroupMembers(ui, root, own, {}, editor));
    EXPECT_FALSE(exists("Own"));
    EXPECT_FALSE(scheduled("Own"));

    ui.queueButton(ButtonOk); // the shared-task note
    EXPECT_TRUE(storeGroupMembers(ui, root, both, {}, editor));
    EXPECT_FALSE(exists("Both"));
    EXPECT_EQ(calls, (Texts{"schedule Both"}));
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_FALSE(ui.scriptMismatch());
}

TEST_F(ProfileCommandsTest, DeleteKeepsTheFilesOfAProfileWhoseKeyCannotBeDeleted) {
    addProfile("A", 1);
    touch(TFileSettings::ResultsFileName("A"));
    auto failing = std::make_shared<bool>(false);
    RegistryStore::Options options;
    options.writeFault = [failing] { return *failing; };
    halcyra::testing::ScopedStoreOptions scoped(options);
    TSettings failingRoot(SettingsRootKey);
    *failing = true;
    ui.queueButton(ButtonYes);
    EXPECT_TRUE(ProfileCommands(failingRoot, ui, recordingEntries()).DeleteProfiles({"A"}));
    *failing = false;
    EXPECT_EQ(messages(), (Texts{"Are you sure you want to delete the profile A?",
                                 "Sorry, the profile could not be deleted!"}));
    EXPECT_EQ(ui.requests().back().buttons, ButtonCancel);
    EXPECT_TRUE(exists("A"));
    EXPECT_TRUE(fileThere(TFileSettings::ResultsFileName("A")));
}

TEST_F(ProfileCommandsTest, ViewLogOpensPageOneOrSaysThereIsNone) {
    touch(*TLog::LogFileName("Ran", 1));
    commands().viewLog({"Never \"ran\"", "Ran"});
    EXPECT_EQ(messages(), (Texts{"There is no log file for the profile \"Never \"ran\"\". Have you run the "
                                 "profile yet?"}));
    EXPECT_EQ(ui.requests().front().messageKind, MessageKind::Error);
    EXPECT_EQ(openedDocuments(), (Texts{*TLog::LogFileName("Ran", 1)}));
}

TEST_F(ProfileCommandsTest, HelpOpensTheLocalFileOrOffersTheOnlineHelp) {
    const std::string helpFile = home.root() + "/Halcyra.chm";
    ui.queueButton(ButtonNo);
    commands().help(helpFile);
    ui.queueButton(ButtonYes);
    commands().help(helpFile);
    touch(helpFile);
    commands().help(helpFile);
    commands().donate();
    commands().forums();
    const std::string question =
        "The local help file (" + helpFile + ") does not exist. Would you like to view the help online?";
    EXPECT_EQ(messages(), (Texts{question, question}));
    EXPECT_EQ(openedDocuments(), (Texts{std::string(kProductHelpPage), helpFile,
                                        std::string(kProductDonatePage), std::string(kProductForumsPage)}));
    EXPECT_EQ(helpFilePath(), programFolder() + "Halcyra.chm");
}

} // namespace
