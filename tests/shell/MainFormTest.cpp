#include "shell/MainForm.h"

#include "../platform/TestHome.h"
#include "../scheduling/SchedulingTestSupport.h"
#include "base/Paths.h"
#include "gui/GuiTestSupport.h"
#include "settings/Settings.h"
#include "shell/ProfileListModel.h"

#include <QAction>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

using Names = std::vector<std::string>;
using Run = std::pair<std::string, bool>; // profile, unattended
using Runs = std::vector<Run>;

const std::string Root(SettingsRootKey);

void makeProfile(const std::string& name, const char* type, const char* lastResult = nullptr) {
    TSettings profile(Root + "\\" + name);
    if (type != nullptr)
        profile.WriteString("ProfileType", type);
    else
        profile.WriteString("Source", "/tmp");
    if (lastResult != nullptr)
        profile.WriteString("LastResult", lastResult);
}

// Every test starts from an empty root key, with a scheduler on a temporary task folder and an in-memory
// crontab, and scripted UI services. Profile runs are recorded instead of performed.
class MainWindowTest : public test::SchedulerTest {
protected:
    MainWindowTest() { clearRoot(); }
    ~MainWindowTest() override { clearRoot(); }

    static void clearRoot() {
        TSettings root(Root);
        Names names;
        if (root.GetSubKeyNames(names))
            for (const std::string& name : names)
                root.DeleteSubKey(name);
        if (root.GetValueNames("", names))
            for (const std::string& name : names)
                root.DeleteValue(name);
    }

    std::unique_ptr<TfrmMain> makeWindow(std::vector<std::string> parameters = {}) {
        auto window = std::make_unique<TfrmMain>(std::move(parameters));
        window->RunProfileEntry = [this](TSettings& settings, bool unattended) {
            runs.emplace_back(settings.KeyName(), unattended);
            if (duringRun)
                duringRun(settings);
        };
        window->ProfileEntriesEntry = [] { return ProfileEntries{}; }; // every dialog answers as cancelled
        window->DblClickEntry = [this](std::uint8_t& action) {
            dblClickPresets.push_back(action);
            if (!dblClickAnswer)
                return false;
            action = *dblClickAnswer;
            return true;
        };
        return window;
    }
    // Shows the window and lets its first showing run.
    static void showNow(TfrmMain& window) {
        window.show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    static Names listed(const TfrmMain& window) {
        Names names;
        for (const ProfileRow& row : window.Profiles().rows())
            names.push_back(row.name);
        return names;
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& request : m_ui.ui.requests())
            texts.push_back(request.text);
        return texts;
    }
    static void countTriggers(QAction* action, QObject* context, int& counter) {
        QObject::connect(action, &QAction::triggered, context, [&counter] { ++counter; });
    }

    test::ScopedScriptedUi m_ui;
    Runs runs;
    std::function<void(TSettings&)> duringRun;
    std::vector<std::uint8_t> dblClickPresets;
    std::optional<std::uint8_t> dblClickAnswer;
};

TEST_F(MainWindowTest, ComponentsCaptionsAndShortCuts) {
    auto window = makeWindow();
    TfrmMain& w = *window;
    EXPECT_EQ(w.windowTitle(), "Halcyra v2.1.3");
    EXPECT_EQ(w.TrayHint(), "Halcyra v2.1.3");
    EXPECT_EQ(w.size(), QSize(640, 312));
    EXPECT_EQ(w.minimumSize(), QSize(640, 153));
    EXPECT_EQ(TSettings(Root).ReadString("FirstRun"), "N");

    EXPECT_EQ(w.Profiles().headerData(4, Qt::Horizontal).toString(), "Scheduled?");
    EXPECT_EQ(w.BitBtn7->text(), "&Close");
    EXPECT_TRUE(w.BitBtn2->isDefault());

    EXPECT_EQ(w.aRunProfile->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
    EXPECT_EQ(w.aDonate->text(), "Donate!");
    EXPECT_EQ(w.aForums->statusTip(), "Visit the online forums");
    QStringList bar;
    for (QAction* item : w.menuBar()->actions())
        bar << item->text();
    EXPECT_EQ(bar, (QStringList{"Profiles", "Action", "Help", "Exit!"}));
    auto itemsOf = [](const QWidget* menu) {
        QStringList texts;
        for (QAction* item : menu->actions())
            texts << (item->isSeparator() ? QString("-") : item->text());
        return texts;
    };
    EXPECT_EQ(
        itemsOf(test::child<QMenu>(&w, "mProfiles")),
        (QStringList{"New", "Modify", "Delete", "Rename", "Copy", "-", "Export Profile", "Import Profile"}));
    EXPECT_EQ(itemsOf(test::child<QMenu>(&w, "mAction")),
              (QStringList{"&Run", "View Log", "-", "Hash Files", "Hash Directory", "Find Duplicate Files",
                           "File Search", "-", "Schedule", "-", "Double-click Action"}));
    EXPECT_EQ(itemsOf(test::child<QMenu>(&w, "mHelp")),
              (QStringList{"Help", "Donate", "Online Forums", "Update Check", "About"}));
    EXPECT_EQ(itemsOf(w.PopupMenu), (QStringList{"Show", "-", "&Run", "-", "Modify", "Schedule", "Delete",
                                                 "Rename", "Copy", "-", "View Log"}));
    int donations = 0;
    countTriggers(w.aDonate, &w, donations);
    test::child<QMenu>(&w, "mHelp")->actions()[1]->trigger();
    EXPECT_EQ(donations, 1);

    EXPECT_TRUE(w.AutoTimer->isSingleShot());
    EXPECT_EQ(w.AutoTimer->interval(), 500);
    EXPECT_FALSE(w.AutoTimer->isActive()); // no parameters
    EXPECT_EQ(w.AutoMode(), 0);
}

TEST_F(MainWindowTest, CommandLineRunsUnattendedThenInteractiveAndCloses) {
    makeProfile("A", "1");
    makeProfile("B", "1");
    auto window = makeWindow({"A", "-i", "B", "-style", "-reverse"});
    QSignalSpy closed(window.get(), &TfrmMain::closed);
    EXPECT_EQ(window->AutoMode(), 1);
    EXPECT_TRUE(window->AutoTimer->isActive());
    showNow(*window);
    EXPECT_TRUE(listed(*window).empty()); // the list is not loaded while parameters run
    EXPECT_TRUE(messages().empty());
    window->AutoTimerTimer();
    EXPECT_EQ(runs, (Runs{{"A", true}, {"B", false}, {"-style", false}, {"-reverse", false}}));
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->AutoTimer->isActive());
    EXPECT_TRUE(listed(*window).empty());
}

TEST_F(MainWindowTest, CapitalSwitchAndNamesBelowAProfile) {
    auto window = makeWindow({"Daily\\Sub", "-I", "Daily"});
    showNow(*window);
    window->AutoTimerTimer();
    EXPECT_EQ(runs, (Runs{{"Daily", false}}));
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"The profile Daily\\Sub does not exist, or is corrupted."}));

    runs.clear();
    auto onlySwitch = makeWindow({"-i"});
    QSignalSpy closed(onlySwitch.get(), &TfrmMain::closed);
    showNow(*onlySwitch);
    onlySwitch->AutoTimerTimer();
    EXPECT_TRUE(runs.empty());
    EXPECT_EQ(closed.count(), 1);
}

TEST_F(MainWindowTest, NoProfilesOffersOneOnceAfterTheFirstShowing) {
    auto window = makeWindow();
    int created = 0;
    countTriggers(window->aNewProfile, window.get(), created);
    m_ui.ui.queueButton(ButtonYes);
    showNow(*window);
    ASSERT_EQ(m_ui.ui.requests().size(), 1u);
    const auto& question = m_ui.ui.requests()[0];
    EXPECT_EQ(question.text, "You do not have any profiles. Would you like to create one now?");
    EXPECT_EQ(question.buttons, ButtonYes | ButtonNo);
    EXPECT_EQ(created, 1);
    // Showing the window again (back from the tray) repeats nothing.
    window->hide();
    showNow(*window);
    EXPECT_EQ(m_ui.ui.requests().size(), 1u);
    EXPECT_EQ(created, 1);

    auto declined = makeWindow();
    int declinedCreated = 0;
    countTriggers(declined->aNewProfile, declined.get(), declinedCreated);
    m_ui.ui.queueButton(ButtonNo);
    showNow(*declined);
    EXPECT_EQ(m_ui.ui.requests().size(), 2u);
    EXPECT_EQ(declinedCreated, 0);
    EXPECT_TRUE(listed(*declined).empty());
}

TEST_F(MainWindowTest, LockedStoreRemovesNothingAndOffersNothing) {
    makeProfile("Kept", "1");
    makeProfile("Broken", nullptr);
    {
        RegistryStore::Options quick;
        quick.busyTimeoutMs = 20;
        testing::ScopedStoreOptions options(quick);
        testing::HeldLock lock(settingsFolder() + "registry.db", testing::HeldLock::Exclusive);
        auto window = makeWindow();
        showNow(*window);
        EXPECT_TRUE(listed(*window).empty());
        // The store's reason, and no offer of a first profile.
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_NE(messages()[0].find("registry.db\" could not be opened: database is locked"),
                  std::string::npos)
            << messages()[0];
    }
    auto window = makeWindow();
    showNow(*window);
    EXPECT_EQ(listed(*window), Names{"Kept"}); // removed only now that the store can be read
    EXPECT_FALSE(TSettings(Root).SubKeyExists("Broken"));
}

TEST_F(MainWindowTest, ClickedColumnSortsBothWaysAndSurvivesARestart) {
    makeProfile("alpha", "1", "No Changes");
    makeProfile("Beta", "2");
    makeProfile("gamma", "1", "Changes");
    {
        auto window = makeWindow();
        showNow(*window);
        EXPECT_EQ(listed(*window), (Names{"alpha", "Beta", "gamma"}));
        QHeaderView* header = window->lvProfiles->horizontalHeader();
        const int x = header->sectionViewportPosition(3) + 5;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
        EXPECT_EQ(window->Sort(), (ProfileSort{3, true}));
        EXPECT_EQ(listed(*window), (Names{"Beta", "gamma", "alpha"}));
        EXPECT_EQ(header->sortIndicatorSection(), 3);
        window->lvProfilesColumnClick(3);
        EXPECT_EQ(window->Sort(), (ProfileSort{3, false}));
        EXPECT_EQ(listed(*window), (Names{"alpha", "gamma", "Beta"}));
        EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
        window->close();
    }
    auto restarted = makeWindow();
    EXPECT_EQ(restarted->Sort(), (ProfileSort{3, false}));
    showNow(*restarted);
    EXPECT_EQ(listed(*restarted), (Names{"alpha", "gamma", "Beta"}));
}

TEST_F(MainWindowTest, EnablingFollowsTheSelection) {
    makeProfile("A", "1");
    makeProfile("B", "1");
    makeProfile("C", "2");
    auto window = makeWindow();
    TfrmMain& w = *window;
    const std::vector<QAction*> single{w.aModifyProfile, w.aSchedule, w.aRename, w.aCopy};
    const std::vector<QAction*> multiple{w.aDeleteProfile, w.aRunProfile, w.aViewLog, w.aExportProfile};
    const std::vector<QAction*> always{w.aNewProfile, w.aImportProfile, w.aMD5File,        w.aMD5Directory,
                                       w.aDuplicates, w.aSearch,        w.aConfigDblClick, w.aHelp,
                                       w.aDonate,     w.aForums,        w.aUpdateCheck,    w.aAbout};
    auto enabled = [](const std::vector<QAction*>& actions) {
        std::vector<bool> states;
        for (QAction* action : actions)
            states.push_back(action->isEnabled());
        return states;
    };
    showNow(w);
    EXPECT_EQ(enabled(single), std::vector<bool>(4, false));
    EXPECT_EQ(enabled(multiple), std::vector<bool>(4, false));
    EXPECT_EQ(enabled(always), std::vector<bool>(always.size(), true));
    EXPECT_FALSE(w.BitBtn2->isEnabled());
    EXPECT_EQ(w.TrayHint(), "Halcyra v2.1.3");

    w.SelectProfiles({"b"});
    EXPECT_EQ(w.SelectedProfiles(), Names{"B"});
    EXPECT_EQ(enabled(single), std::vector<bool>(4, true));
    EXPECT_EQ(enabled(multiple), std::vector<bool>(4, true));
    EXPECT_TRUE(w.BitBtn2->isEnabled());
    EXPECT_EQ(w.TrayHint(), "Halcyra v2.1.3 : Current profile is B");

    w.SelectProfiles({"C", "A"});
    EXPECT_EQ(w.SelectedProfiles(), (Names{"A", "C"}));
    EXPECT_EQ(enabled(single), std::vector<bool>(4, false));
    EXPECT_EQ(enabled(multiple), std::vector<bool>(4, true));
    EXPECT_FALSE(w.BitBtn8->isEnabled());
    EXPECT_TRUE(w.BitBtn3->isEnabled());
    EXPECT_EQ(w.TrayHint(), "Halcyra v2.1.3 : Multiple profiles selected");
    EXPECT_EQ(enabled(always), std::vector<bool>(always.size(), true));
}

TEST_F(MainWindowTest, ShortCutsDoNothingWithoutASelection) {
    makeProfile("A", "1");
    makeProfile("B", "1");
    auto window = makeWindow();
    TfrmMain& w = *window;
    int deletes = 0, modifies = 0;
    countTriggers(w.aDeleteProfile, &w, deletes);
    countTriggers(w.aModifyProfile, &w, modifies);
    showNow(w);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
    w.lvProfiles->setFocus();

    QTest::keyClick(w.lvProfiles, Qt::Key_R, Qt::ControlModifier);
    QTest::keyClick(w.lvProfiles, Qt::Key_Delete);
    QTest::keyClick(w.lvProfiles, Qt::Key_Return);
    EXPECT_TRUE(runs.empty());
    EXPECT_EQ(deletes, 0);
    EXPECT_EQ(modifies, 0);

    w.SelectProfiles({"B", "A"});
    QTest::keyClick(w.lvProfiles, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(runs, (Runs{{"A", false}, {"B", false}})); // from the top of the list down, interactive
    m_ui.ui.queueButton(ButtonNo);                       // keep A
    m_ui.ui.queueButton(ButtonNo);                       // keep B
    QTest::keyClick(w.lvProfiles, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(deletes, 1);
    EXPECT_EQ(m_ui.ui.requests().back().text, "Are you sure you want to delete the profile B?");
    w.SelectProfiles({"B", "A"});
    QTest::keyClick(w.lvProfiles, Qt::Key_Return); // two rows: Modify is disabled
    EXPECT_EQ(modifies, 0);
    w.SelectProfiles({"A"});
    QTest::keyClick(w.lvProfiles, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(modifies, 1);
}

TEST_F(MainWindowTest, RunKeepsTheSelectionByNameAndShowsTheNewResult) {
    makeProfile("alpha", "1", "Changes");
    makeProfile("beta", "1", "No Changes");
    makeProfile("gamma", "1", "Aborted");
    auto window = makeWindow();
    TfrmMain& w = *window;
    showNow(w);
    w.lvProfilesColumnClick(3); // by result: gamma, alpha, beta
    w.SelectProfiles({"alpha", "beta"});
    duringRun = [](TSettings& settings) {
        settings.WriteString("LastResult", settings.KeyName() == "alpha" ? "Zzz" : "Aaa");
    };
    makeProfile("Aardvark", "1", "Aborted"); // arrives meanwhile, before every other row
    w.aRunProfile->trigger();
    EXPECT_EQ(runs, (Runs{{"alpha", false}, {"beta", false}}));
    EXPECT_EQ(listed(w), (Names{"beta", "Aardvark", "gamma", "alpha"}));
    EXPECT_EQ(w.SelectedProfiles(), (Names{"beta", "alpha"}));
    EXPECT_TRUE(w.lvProfiles->hasFocus());
}

TEST_F(MainWindowTest, ClosingWhileRunningWaitsForTheRunsToEnd) {
    makeProfile("A", "1");
    makeProfile("B", "1");
    auto window = makeWindow();
    TfrmMain& w = *window;
    QSignalSpy closed(&w, &TfrmMain::closed);
    showNow(w);
    w.SelectProfiles({"A", "B"});
    bool visibleAfterClose = false;
    duringRun = [&](TSettings& settings) {
        if (settings.KeyName() == "A") {
            w.close();
            visibleAfterClose = w.isVisible();
        }
    };
    w.aRunProfile->trigger();
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_EQ(runs.size(), 2u);
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindowTest, DoubleClickAsksFirstAndCancelChangesNothing) {
    makeProfile("A", "1");
    auto window = makeWindow();
    TfrmMain& w = *window;
    showNow(w);
    w.SelectProfiles({"A"});
    TSettings root(Root);

    // Not chosen yet: the choice opens on "Do nothing"; cancelling leaves the value missing.
    const QRect cell = w.lvProfiles->visualRect(w.Profiles().index(0, 0));
    QTest::mouseClick(w.lvProfiles->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(w.lvProfiles->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(dblClickPresets, std::vector<std::uint8_t>{0});
    EXPECT_EQ(root.ReadString("DoubleClick"), "");
    EXPECT_TRUE(runs.empty());

    // Chosen "Run the profile": stored, and the double-click runs.
    dblClickAnswer = 1;
    w.lvProfilesDblClick();
    EXPECT_EQ(root.ReadString("DoubleClick"), "1");
    EXPECT_EQ(runs, (Runs{{"A", false}}));
    w.lvProfilesDblClick(); // asks no more
    EXPECT_EQ(dblClickPresets.size(), 2u);
    EXPECT_EQ(runs.size(), 2u);

    // The choice opens on the stored value; a value outside 0 to 4 opens it on "Do nothing".
    root.WriteString("DoubleClick", "3");
    dblClickAnswer.reset();
    w.aConfigDblClick->trigger();
    root.WriteString("DoubleClick", "9");
    w.aConfigDblClick->trigger();
    EXPECT_EQ(dblClickPresets, (std::vector<std::uint8_t>{0, 0, 3, 0}));
    EXPECT_EQ(root.ReadString("DoubleClick"), "9");
    w.lvProfilesDblClick(); // 9 does nothing
    EXPECT_EQ(runs.size(), 2u);

    // An action that is disabled is not executed.
    root.WriteString("DoubleClick", "1");
    w.SelectProfiles({});
    w.lvProfilesDblClick();
    EXPECT_EQ(runs.size(), 2u);
}

TEST_F(MainWindowTest, ProfileCommandsActOnTheSelectionAndReloadTheList) {
    makeProfile("A", "1");
    makeProfile("B", "1");
    auto window = makeWindow();
    TfrmMain& w = *window;
    showNow(w);
    w.SelectProfiles({"A"});
    m_ui.ui.queueButton(ButtonYes); // delete A
    w.aDeleteProfile->trigger();
    EXPECT_EQ(m_ui.ui.requests().back().text, "Are you sure you want to delete the profile A?");
    EXPECT_FALSE(TSettings(Root).SubKeyExists("A"));
    EXPECT_EQ(listed(w), (std::vector<std::string>{"B"}));

    // New with the type choice cancelled changes nothing.
    w.aNewProfile->trigger();
    EXPECT_EQ(listed(w), (std::vector<std::string>{"B"}));
}

int columnsWidth(const QTableView& view) {
    int sum = 0;
    for (int column = 0; column < ProfileColumnCount; ++column)
        sum += view.horizontalHeader()->sectionSize(column);
    return sum;
}

TEST_F(MainWindowTest, ColumnsFitTheListAndTheNameColumnTakesTheGrowth) {
    const std::string longName(90, 'W');
    makeProfile(longName, "1", "Excluded Changes Only");
    for (int i = 0; i < 30; ++i)
        makeProfile("P" + std::to_string(i), "2");
    auto window = makeWindow();
    TfrmMain& w = *window;
    showNow(w);
    QTableView* list = w.lvProfiles;
    const QFontMetrics metrics = list->fontMetrics();
    for (const int height : {312, 153}) {
        w.resize(640, height);
        QCoreApplication::processEvents();
        EXPECT_LE(columnsWidth(*list), list->viewport()->width()) << height;
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible()) << height;
    }
    for (const char* text : {"Yes (shared)", "Scheduled?", "Excluded Changes Only"}) {
        const int column = std::string(text) == "Excluded Changes Only" ? 3 : 4;
        EXPECT_GT(list->horizontalHeader()->sectionSize(column), metrics.horizontalAdvance(text)) << text;
    }
    std::vector<int> before;
    for (int column = 0; column < ProfileColumnCount; ++column)
        before.push_back(list->horizontalHeader()->sectionSize(column));
    w.resize(900, 312);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->horizontalHeader()->sectionSize(0), before[0] + 260);
    for (int column = 1; column < ProfileColumnCount; ++column)
        EXPECT_EQ(list->horizontalHeader()->sectionSize(column), before[static_cast<std::size_t>(column)]);

    // Only a name cut short by its column shows itself as the tool tip.
    auto* delegate = qobject_cast<ElidedTextToolTipDelegate*>(list->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const int longRow = w.Profiles().rowOf(longName);
    EXPECT_TRUE(delegate->isElided(*list, w.Profiles().index(longRow, 0)));
    EXPECT_FALSE(delegate->isElided(*list, w.Profiles().index(w.Profiles().rowOf("P1"), 0)));
    list->scrollTo(w.Profiles().index(longRow, 0));
    const QRect cell = list->visualRect(w.Profiles().index(longRow, 0));
    QHelpEvent help(QEvent::ToolTip, cell.center(), list->viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(list->viewport(), &help);
    EXPECT_EQ(QToolTip::text().toStdString(), longName);
}

TEST_F(MainWindowTest, NewProfileComesSelectedInViewAndTheListKeepsTheFocusAfterCommands) {
    for (int i = 0; i < 30; ++i)
        makeProfile("P" + std::to_string(i), "1");
    auto window = makeWindow();
    TfrmMain& w = *window;
    int schedules = 0;
    w.ProfileEntriesEntry = [&schedules] {
        ProfileEntries entries;
        entries.chooseProfileType = [](std::uint8_t& type) { return type = 1, true; };
        entries.editOrdinaryProfile = [](bool, std::uint8_t, TSettings& settings) {
            return settings.WriteInteger("ProfileType", 1);
        };
        entries.editSchedule = [&schedules](std::string_view, std::string_view) { ++schedules; };
        return entries;
    };
    showNow(w);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    m_ui.ui.queueText(std::string("Zed"));
    m_ui.ui.queueButton(ButtonNo); // no first run
    QTest::mouseClick(w.BitBtn1, Qt::LeftButton);
    EXPECT_EQ(w.SelectedProfiles(), (Names{"Zed"}));
    EXPECT_TRUE(w.aModifyProfile->isEnabled());
    const QRect zed = w.lvProfiles->visualRect(w.Profiles().index(w.Profiles().rowOf("Zed"), 0));
    EXPECT_TRUE(w.lvProfiles->viewport()->rect().contains(zed)) << zed.y();

    QTest::mouseClick(w.BitBtn8, Qt::LeftButton); // a window opened from the list
    EXPECT_EQ(schedules, 1);
    EXPECT_EQ(QApplication::focusWidget(), w.lvProfiles);

    m_ui.ui.queueButton(ButtonYes); // delete Zed
    QTest::mouseClick(w.BitBtn3, Qt::LeftButton);
    EXPECT_EQ(listed(w).size(), 30u);
    EXPECT_FALSE(w.BitBtn3->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), w.lvProfiles);
    EXPECT_FALSE(m_ui.ui.scriptMismatch());
}

} // namespace
} // namespace halcyra
