#include "shell/ProfileSetup.h"

#include "detection/FileSettings.h"
#include "detection/FolderListing.h"
#include "detection/TestSupport.h"
#include "gui/GuiTestSupport.h"
#include "platform/CrontabBackend.h"
#include "platform/HeadlessUiServices.h"
#include "scheduling/MsTaskUtils.h"
#include "settings/Settings.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <cstdio>

namespace halcyra {
namespace {

// The real file system, with a hook run when the first folder is opened.
class HookedFileSystem final : public FileSystem {
public:
    std::unique_ptr<FolderListing> openFolder(const std::string& path, bool followLink, int& error) override {
        if (hook) {
            auto run = std::move(hook);
            hook = nullptr;
            run();
        }
        return FileSystem::real().openFolder(path, followLink, error);
    }
    std::function<void()> hook;
};

QStringList itemsOf(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    return items;
}

class ProfileSetupWindowTest : public ::testing::Test {
protected:
    // Schedule look-ups that reach the scheduler see an empty task store on an in-memory crontab.
    ProfileSetupWindowTest() {
        SchedulerSetup setup;
        setup.tasksFolder = taskHome.path("Tasks/");
        setup.runnerPath = "/opt/halcyra/bin/HalcyraRunner";
        setup.programPath = "/opt/halcyra/bin/Halcyra";
        setup.crontab = std::make_shared<FakeCrontabBackend>();
        setSchedulerSetup(setup);
    }
    ~ProfileSetupWindowTest() override {
        setSchedulerSetup(std::nullopt);
        settings.DeleteSubKey({});
        std::remove(TFileSettings::ExclusionDirFileName(name).c_str());
    }

    std::unique_ptr<TfrmProfileSetup> open(bool isNew) {
        ProfileSetupServices services;
        services.ui = &ui;
        services.fileSystem = &fileSystem;
        services.ejectMedia = [this](const std::string& path) {
            ejected.push_back(path);
            return true;
        };
        services.editSchedule = [this](std::string_view profile, std::string_view extra) {
            scheduled.push_back(std::string(profile) + "|" + std::string(extra));
            scheduleFound = true;
        };
        services.scheduleText = [this](std::string_view, bool& shared, std::string& text) {
            shared = false;
            text = scheduleFound ? "The task is ready to run at its next scheduled time." : "";
            return scheduleFound;
        };
        return std::make_unique<TfrmProfileSetup>(isNew, 1, settings, std::move(services));
    }
    std::string stored(const char* value) const { return settings.ReadStringDef(value, "<missing>"); }
    KeySet storedExclusions() const {
        KeySet list;
        std::string error;
        TFileSettings::LoadExclusionDirs(name, &list, error);
        return list;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& request : ui.requests())
            texts.push_back(request.text);
        return texts;
    }
    QString qs(const std::string& text) const { return QString::fromStdString(text); }
    void storeProfile(const std::string& source, const char* recursive) {
        settings.WriteString("ProfileType", "1");
        settings.WriteString("Source", source);
        settings.WriteString("Recursive", recursive);
        settings.WriteString("FileMasks", "*.*");
        settings.WriteString("NoHash", "N");
    }
    // Shows the window on its Sub-directories tab, which fills the tree.
    void showSubDirectories(TfrmProfileSetup& window) {
        window.show();
        window.PageControl->setCurrentWidget(window.tsSubDir);
    }
    Qt::CheckState rowState(TfrmProfileSetup& window, int row) {
        return window.ListView->model()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>();
    }
    std::string folder() const { return tree.root().substr(0, tree.root().size() - 1); }

    std::string name = "Setup Test";
    TSettings settings{std::string(SettingsRootKey) + "\\" + name};
    test::TestTree taskHome;
    test::TestTree tree{{"a/x/y/", ""}, {"b/", ""}, {"Other/c/", ""}};
    ScriptedUiServices ui;
    HookedFileSystem fileSystem;
    std::vector<std::string> ejected;
    std::vector<std::string> scheduled;
    bool scheduleFound = false;
};

TEST_F(ProfileSetupWindowTest, ANewProfileConfirmedWithOnlyAFolderStoresTheDefaults) {
    auto window = open(true);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Profile Setup: Setup Test"));
    EXPECT_EQ(window->PageControl->currentWidget(), window->tsScan);
    EXPECT_TRUE(window->ListView->isHidden());
    EXPECT_EQ(window->lSchedule->text(), QStringLiteral("There is no schedule for this profile"));
    EXPECT_EQ(window->lSchedule->palette().color(QPalette::WindowText), QColor(Qt::red));

    window->eDirectory->setText(qs(tree.root()));
    window->bOK->click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(stored("Source"), folder());
    for (const auto& [value, text] :
         std::vector<std::pair<const char*, const char*>>{{"FileMasks", "*.*"},
                                                          {"ExclFileMasks", "<missing>"},
                                                          {"Recursive", "Y"},
                                                          {"DisplayLog", "Y"},
                                                          {"DisplayLogChanges", "Y"},
                                                          {"Eject", "N"},
                                                          {"NoHash", "N"},
                                                          {"ProfileType", "1"}})
        EXPECT_EQ(stored(value), text) << value;
    EXPECT_TRUE(messages().empty());
    EXPECT_FALSE(std::filesystem::exists(TFileSettings::ExclusionDirFileName(name)));
}

TEST_F(ProfileSetupWindowTest, AFolderThatCannotBeScannedKeepsTheWindowOpenAndCancelWritesNothing) {
    auto window = open(true);
    window->bOK->click();
    window->eDirectory->setText(qs(tree.path("missing")));
    window->bOK->click();
    window->eDirectory->setText(qs(tree.path("a/x")));
    window->bCancel->click();
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"You must choose a directory to scan",
                                        "The directory " + tree.path("missing") + " does not exist!"}));
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_EQ(stored("ProfileType"), "<missing>");
}

TEST_F(ProfileSetupWindowTest, MasksComeFromTheInputBoxAndLogOptionsFollowDisplayLog) {
    auto window = open(true);
    for (const char* answer : {"/home/user/*.LOG", "*.log", "[x"}) {
        ui.queueText(answer);
        window->bAddAdd->click();
    }
    ui.queueText("~$*");
    window->bAddNot->click();
    EXPECT_EQ(itemsOf(window->lbAddList), (QStringList{"*.*", "*.LOG"}));
    EXPECT_EQ(ui.requests()[0].title, "Enter file mask, e.g. *.exe");
    EXPECT_EQ(ui.requests()[0].text, "Mask");
    EXPECT_EQ(ui.requests()[3].text, "'[x' is an invalid mask at (1)");
    window->lbAddList->selectAll();
    window->bRemoveAdd->click();
    EXPECT_EQ(window->lbAddList->count(), 0);

    window->cbDisplayLog->click();
    EXPECT_FALSE(window->cbDisplayLogChanges->isEnabled());
    window->eDirectory->setText(qs(folder()));
    window->bOK->click();
    EXPECT_EQ(stored("FileMasks"), "*.*"); // an empty include list means every name
    EXPECT_EQ(stored("ExclFileMasks"), "~$*");
    EXPECT_EQ(stored("DisplayLogChanges"), "N");
}

TEST_F(ProfileSetupWindowTest, TheTreesCheckMarksBecomeTheExclusionList) {
    storeProfile(folder(), "G");
    auto window = open(false);
    showSubDirectories(*window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->lSubDirStatus->text(),
              QStringLiteral("The directories with check marks next to them will be scanned"));
    ASSERT_EQ(window->ListView->model()->rowCount(), 6);
    EXPECT_EQ(window->ListView->model()->index(2, 0).data().toString(), QStringLiteral("/a/x/y/"));

    // A press on the state picture of /a/x/y/ unchecks it; its ancestors become partial.
    const QRect rowRect = window->ListView->visualRect(window->ListView->model()->index(2, 0));
    const int indicator = window->ListView->style()->pixelMetric(QStyle::PM_IndicatorWidth);
    QTest::mouseClick(window->ListView->viewport(), Qt::LeftButton, {},
                      QPoint(rowRect.left() + 2 + 2 * 16 + indicator / 2, rowRect.center().y()));
    EXPECT_EQ(rowState(*window, 2), Qt::Unchecked);
    EXPECT_EQ(rowState(*window, 0), Qt::PartiallyChecked);
    // A press on the caption only selects the row; a double click toggles the selected row.
    const QRect bRect = window->ListView->visualRect(window->ListView->model()->index(3, 0));
    QTest::mouseClick(window->ListView->viewport(), Qt::LeftButton, {},
                      QPoint(bRect.right() - 3, bRect.center().y()));
    EXPECT_EQ(rowState(*window, 3), Qt::Checked);
    window->ListViewDblClick();
    EXPECT_EQ(rowState(*window, 3), Qt::Unchecked);

    window->bOK->click();
    EXPECT_EQ(storedExclusions(), (KeySet{"/a/x/y/", "/b/"}));
    EXPECT_TRUE(messages().empty());
}

TEST_F(ProfileSetupWindowTest, UncheckingEveryFolderWarnsAndStillSaves) {
    storeProfile(folder(), "G");
    auto window = open(false);
    showSubDirectories(*window);
    window->mUncheckAll->trigger();
    window->bOK->click();
    EXPECT_EQ(messages(),
              std::vector<std::string>{"You have not selected any sub-directories to backup/synchronise!"});
    EXPECT_EQ(ui.requests()[0].messageKind, MessageKind::Warning);
    EXPECT_EQ(storedExclusions().size(), 6u);
    EXPECT_EQ(window->result(), QDialog::Accepted);
}

TEST_F(ProfileSetupWindowTest, CancelLeavesTheExclusionFileAsItWas) {
    storeProfile(folder(), "G");
    KeySet before{"/b/", "/gone/"};
    std::string error;
    TFileSettings::SaveExclusionDirs(name, &before, error);
    auto window = open(false);
    showSubDirectories(*window);
    EXPECT_EQ(rowState(*window, 3), Qt::Unchecked);
    window->mCheckAll->trigger();
    EXPECT_EQ(rowState(*window, 3), Qt::Checked);
    window->bCancel->click();
    EXPECT_EQ(storedExclusions(), before);
}

TEST_F(ProfileSetupWindowTest, AFolderChangedAfterTheTreeWasShownIsListedBeforeSaving) {
    test::TestTree second{{"a/", ""}, {"c/", ""}};
    storeProfile(folder(), "G");
    auto window = open(false);
    showSubDirectories(*window);
    window->ListView->selectionModel()->select(window->ListView->model()->index(0, 0),
                                               QItemSelectionModel::Select);
    window->mUncheckSelected->trigger();

    window->PageControl->setCurrentWidget(window->tsScan);
    window->eDirectory->setText(qs(second.root()));
    window->bOK->click();
    EXPECT_EQ(window->result(), QDialog::Accepted);
    EXPECT_EQ(window->subFolders().shownDir(), second.root().substr(0, second.root().size() - 1));
    ASSERT_EQ(window->ListView->model()->rowCount(), 2);
    EXPECT_EQ(rowState(*window, 0), Qt::Unchecked); // the new folder's /a/ keeps the mark by its key
    // Marks of folders the new tree does not hold are kept.
    EXPECT_EQ(storedExclusions(), (KeySet{"/a/", "/a/x/", "/a/x/y/"}));
}

TEST_F(ProfileSetupWindowTest, WhileTheTreeFillsTheWindowCannotBeClosedOrReentered) {
    storeProfile(folder(), "G");
    auto window = open(false);
    bool hookRan = false;
    fileSystem.hook = [&] {
        hookRan = true;
        EXPECT_TRUE(window->busy());
        EXPECT_FALSE(window->bOK->isEnabled() || window->bCancel->isEnabled() ||
                     window->cbRecursive->isEnabled() || window->PageControl->tabBar()->isEnabled());
        window->accept();
        window->reject();
        window->close();
        window->mRefreshClick();
        EXPECT_TRUE(window->isVisible());
    };
    showSubDirectories(*window);
    EXPECT_TRUE(hookRan);
    EXPECT_FALSE(window->busy());
    EXPECT_TRUE(window->bOK->isEnabled() && window->isVisible());
    EXPECT_EQ(window->ListView->model()->rowCount(), 6);
}

TEST_F(ProfileSetupWindowTest, RefreshKeepsTheMarksByKeyAndAnEmptyFolderIsAskedFor) {
    storeProfile(folder(), "N");
    auto window = open(false);
    showSubDirectories(*window);
    EXPECT_EQ(window->lSubDirStatus->text(), QStringLiteral("No sub-directories will be scanned"));
    // Without the tree the status line stays at the top of its page.
    EXPECT_LT(window->lSubDirStatus->geometry().bottom(), window->tsSubDir->height() / 4);
    window->cbRecursive->click();
    window->cbRecursive->click(); // unchecked, checked, grayed
    EXPECT_EQ(window->ListView->model()->rowCount(), 6);
    window->mUncheckAll->trigger();
    tree.add({"z/", ""});
    window->mRefreshClick();
    ASSERT_EQ(window->ListView->model()->rowCount(), 7);
    EXPECT_EQ(rowState(*window, 0), Qt::Unchecked);
    EXPECT_EQ(rowState(*window, 6), Qt::Checked);

    window->eDirectory->clear();
    for (int i = 0; i < 3; ++i)
        window->cbRecursive->click();
    EXPECT_EQ(window->lSubDirStatus->text(), QStringLiteral("Please enter a directory"));
    EXPECT_EQ(window->lSubDirStatus->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(ProfileSetupWindowTest, EjectAndScheduleButtons) {
    auto window = open(true);
    window->bEjectSource->click();
    window->eDirectory->setText(QStringLiteral("/media/usb"));
    window->bEjectSource->click();
    EXPECT_EQ(ejected, std::vector<std::string>{"/media/usb"});
    window->bSchedule->click();
    EXPECT_EQ(scheduled, std::vector<std::string>{"Setup Test|"});
    EXPECT_EQ(window->lSchedule->text(),
              QStringLiteral("The task is ready to run at its next scheduled time."));
    EXPECT_NE(window->lSchedule->palette().color(QPalette::WindowText), QColor(Qt::red));
}

TEST_F(ProfileSetupWindowTest, ExecuteShowsOnlyOrdinaryProfilesAndCancelWritesNothing) {
    EXPECT_FALSE(TfrmProfileSetup::Execute(false, 2, &settings));
    EXPECT_FALSE(TfrmProfileSetup::Execute(false, 1, nullptr));
    setHeadlessSession(true);
    EXPECT_FALSE(TfrmProfileSetup::Execute(false, 1, &settings));
    setHeadlessSession(false);

    test::ScopedScriptedUi scripted;
    bool shown = false;
    test::onModal([&](QWidget* modal) {
        auto* window = qobject_cast<TfrmProfileSetup*>(modal);
        ASSERT_NE(window, nullptr);
        shown = true;
        window->eDirectory->setText(qs(folder()));
        window->bCancel->click();
    });
    EXPECT_FALSE(TfrmProfileSetup::Execute(true, 1, &settings));
    EXPECT_TRUE(shown);
    EXPECT_EQ(stored("Source"), "<missing>");
}

} // namespace
} // namespace halcyra
