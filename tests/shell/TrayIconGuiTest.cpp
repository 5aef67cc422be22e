#include "shell/MainForm.h"
#include "shell/ProfileListModel.h"
#include "shell/SysTray.h"
#include "shell/WindowTimer.h"

#include "../scheduling/SchedulingTestSupport.h"
#include "base/Product.h"
#include "gui/GuiTestSupport.h"
#include "settings/Settings.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmap>
#include <QSignalSpy>
#include <QStyleHints>
#include <QSystemTrayIcon>

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

namespace halcyra {
namespace {

// Platform timers on a clock the test drives: advance() delivers every tick that falls due, in time order
// (timers due together in the order they were made).
class DrivenTimers : public TimerPlatform {
public:
    explicit DrivenTimers(std::function<void(std::uint64_t)> tick) : tick(std::move(tick)) { current = this; }
    ~DrivenTimers() override { current = nullptr; }
    bool SetTimer(std::uint64_t id, std::int32_t interval) override {
        return interval > 0 && (m_timers[id] = {m_now + interval, interval}, true);
    }
    bool KillTimer(std::uint64_t id) override { return m_timers.erase(id) > 0; }
    void advance(long ms) {
        const long end = m_now + ms;
        for (auto next = m_timers.begin(); current == this && !m_timers.empty(); next = m_timers.begin()) {
            for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
                next = it->second.first < next->second.first ? it : next;
            if (next->second.first > end)
                break;
            m_now = next->second.first;
            next->second.first += next->second.second;
            tick(next->first); // may free the last timer, and this platform with it
        }
        if (current == this)
            m_now = end;
    }

    static inline DrivenTimers* current = nullptr;
    std::function<void(std::uint64_t)> tick;

private:
    std::map<std::uint64_t, std::pair<long, long>> m_timers; // id -> (due, interval)
    long m_now = 0;
};

// Every timer made in a test runs on driven timers.
class DrivenTimerTest : public test::SchedulerTest {
protected:
    DrivenTimerTest() {
        EXPECT_EQ(TWindowTimerHandler::RefCount(), 0) << "a timer outlived its test";
        TWindowTimerHandler::SetPlatformFactory(
            [](std::function<void(std::uint64_t)> tick) { return std::make_unique<DrivenTimers>(tick); });
    }
    ~DrivenTimerTest() override { TWindowTimerHandler::SetPlatformFactory({}); }
    static void advance(long ms) { DrivenTimers::current->advance(ms); }
};

using TimerTest = DrivenTimerTest;

TEST_F(TimerTest, IntervalAndHandlerChangesPauseAndResumeAnEnabledTimer) {
    int ticks = 0;
    auto count = [&](TWindowTimer&) { ++ticks; };
    auto timer = std::make_unique<TWindowTimer>();
    EXPECT_EQ(timer->Interval(), 1000);
    timer->SetOnTimer(count);
    // After each step: advance by `ms`, then the ticks so far, whether enabled, and the running timers.
    auto step = [&](long ms, int expectedTicks, bool enabled, int active) {
        advance(ms);
        EXPECT_EQ(ticks, expectedTicks);
        EXPECT_EQ(timer->Enabled(), enabled);
        EXPECT_EQ(TWindowTimerHandler::ActiveCount(), active);
    };
    timer->SetInterval(500); // a disabled timer stays stopped
    step(5000, 0, false, 0);
    timer->SetEnabled(true);
    step(1200, 2, true, 1);
    timer->SetInterval(500); // unchanged: the period runs on
    step(300, 3, true, 1);
    timer->SetInterval(1000); // a running timer starts a new period
    step(999, 3, true, 1);
    step(1, 4, true, 1);
    step(500, 4, true, 1);
    timer->SetEnabled(true); // so does enabling it again
    step(999, 4, true, 1);
    timer->SetInterval(0);
    step(5000, 4, true, 0);
    timer->SetEnabled(false); // while paused
    timer->SetInterval(200);
    step(1000, 4, false, 0);
    timer->SetEnabled(true);
    step(1000, 9, true, 1);
    timer->SetOnTimer(nullptr);
    step(1000, 9, true, 0);
    timer->SetOnTimer(count);
    step(200, 10, true, 1);
    timer->SetEnabled(false);
    step(1000, 10, false, 0);
    timer->SetEnabled(true);

    TWindowTimer idle(0, count);
    EXPECT_FALSE(idle.Start());
    idle.SetEnabled(true);
    EXPECT_FALSE(idle.Enabled());
    EXPECT_EQ(TWindowTimerHandler::RefCount(), 2);
    timer.reset(); // running
    EXPECT_EQ(TWindowTimerHandler::RefCount(), 1);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 0);
}

// The toolkit's own timers on the event loop: a restarted timer ticks on one platform timer, a stopped one
// ticks no more while another goes on.
TEST(ToolkitTimerTest, TicksRestartsAndStopsOnTheEventLoop) {
    ASSERT_EQ(TWindowTimerHandler::RefCount(), 0);
    int ticks = 0;
    int otherTicks = 0;
    TWindowTimer timer(1, [&](TWindowTimer&) { ++ticks; });
    TWindowTimer other(1, [&](TWindowTimer&) { ++otherTicks; });
    const auto runUntil = [](const std::function<bool()>& done) {
        for (QDeadlineTimer limit(30000); !done() && !limit.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return done();
    };
    timer.SetEnabled(true);
    timer.SetInterval(2);
    other.SetEnabled(true);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 2);
    ASSERT_TRUE(runUntil([&] { return ticks >= 3; }));
    timer.SetEnabled(false);
    const int stoppedAt = ticks;
    const int otherAt = otherTicks;
    ASSERT_TRUE(runUntil([&] { return otherTicks >= otherAt + 10; }));
    EXPECT_EQ(ticks, stoppedAt);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 1);
}

TEST_F(TimerTest, AutoDisableTicksOnceAndFreedTimersGetNoTicks) {
    int ticks = 0;
    TWindowTimer once(100, [&](TWindowTimer&) { ++ticks; });
    once.AutoDisable = true;
    once.SetEnabled(true);
    advance(1000);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(once.Enabled());

    // A tick due together with the tick that frees its timer, or reported late, is dropped.
    std::unique_ptr<TWindowTimer> second;
    TWindowTimer killer(100, [&](TWindowTimer&) { second.reset(); });
    second = std::make_unique<TWindowTimer>(100, [&](TWindowTimer&) { ++ticks; });
    killer.SetEnabled(true);
    second->SetEnabled(true);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 2);
    const std::uint64_t freedId = second->Id();
    advance(100);
    DrivenTimers::current->tick(freedId);
    EXPECT_EQ(ticks, 1);

    // A timer may free itself from its own tick.
    int freed = 0; // used after the timer, and the handler it held, are gone
    (new TWindowTimer(50, [&freed](TWindowTimer& sender) {
        delete &sender;
        ++freed;
    }))->SetEnabled(true);
    killer.SetEnabled(false);
    advance(50);
    EXPECT_EQ(freed, 1);
    EXPECT_EQ(TWindowTimerHandler::RefCount(), 2);
}

class TrayIconTest : public DrivenTimerTest {
protected:
    TrayIconTest() {
        tray.OnClick = [this](TSysTrayIcon&) { ++clicks; };
        tray.OnDblClick = [this](TSysTrayIcon&) { ++doubleClicks; };
        tray.OnMouseDown = [this](TSysTrayIcon&, Qt::MouseButton button, Qt::KeyboardModifiers, QPoint) {
            downs.push_back(button);
        };
    }
    void click() { emit tray.PlatformIcon()->activated(QSystemTrayIcon::Trigger); }
    static int doubleClickTime() { return QGuiApplication::styleHints()->mouseDoubleClickInterval(); }
    static QIcon colour(Qt::GlobalColor colour) {
        QPixmap pixmap(16, 16);
        pixmap.fill(colour);
        return QIcon(pixmap);
    }

    TSysTrayIcon tray{nullptr};
    int clicks = 0;
    int doubleClicks = 0;
    std::vector<Qt::MouseButton> downs;
};

TEST_F(TrayIconTest, SingleClickWaitsForTheDoubleClickTimeAndDoubleClickGivesNoClick) {
    click();
    EXPECT_EQ(clicks, 0);
    advance(doubleClickTime() - 1);
    EXPECT_EQ(clicks, 0);
    advance(1);
    EXPECT_EQ(clicks, 1);

    click();
    emit tray.PlatformIcon()->activated(QSystemTrayIcon::DoubleClick);
    click(); // a third press within the time
    advance(10 * doubleClickTime());
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(clicks, 1);
    click();
    advance(doubleClickTime());
    EXPECT_EQ(clicks, 2);

    tray.OnDblClick = nullptr; // no double-click to wait for: the click comes at once
    click();
    EXPECT_EQ(clicks, 3);
    tray.MouseNotification(TrayMouse::LeftUp); // a release without a press
    EXPECT_EQ(clicks, 3);
    emit tray.PlatformIcon()->activated(QSystemTrayIcon::MiddleClick);

    tray.Enabled = false;
    click();
    tray.MouseNotification(TrayMouse::RightDown);
    advance(10 * doubleClickTime());
    EXPECT_EQ(clicks, 3);
    EXPECT_EQ(downs, (std::vector<Qt::MouseButton>{Qt::LeftButton, Qt::LeftButton, Qt::LeftButton,
                                                   Qt::LeftButton, Qt::LeftButton, Qt::MiddleButton}));
}

TEST_F(TrayIconTest, PopupMenuOpensOnRightButtonOrWithLeftPopupAndDefaultItemFollowsDoubleClick) {
    QMenu menu;
    QAction* item = menu.addAction("Show");
    menu.setDefaultAction(item);
    QSignalSpy opened(&menu, &QMenu::aboutToShow);
    QSignalSpy triggered(item, &QAction::triggered);
    tray.SetPopupMenu(&menu);

    click();
    EXPECT_EQ(opened.count(), 0);
    tray.MouseNotification(TrayMouse::RightDown);
    EXPECT_EQ(opened.count(), 1);
    menu.hide();
    tray.MouseNotification(TrayMouse::LeftDblClick);
    EXPECT_EQ(triggered.count(), 1);

    tray.LeftPopup = true;
    tray.MouseNotification(TrayMouse::LeftDown);
    EXPECT_EQ(opened.count(), 2);
    menu.hide();
    tray.MouseNotification(TrayMouse::LeftDblClick);
    EXPECT_EQ(triggered.count(), 1);
}

TEST_F(TrayIconTest, HintIsCutAt127CharactersNeverInsideOne) {
    tray.SetHint(QString(200, QLatin1Char('h')));
    EXPECT_EQ(tray.PlatformIcon()->toolTip(), QString(127, QLatin1Char('h')));
    const QString face = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 units
    const QString hint = QString(126, QLatin1Char('a')) + face + face;
    EXPECT_EQ(TSysTrayIcon::TipText(hint, true), QString(126, QLatin1Char('a')) + face);
    EXPECT_EQ(TSysTrayIcon::TipText(face, true), face);
    tray.SetShowHint(false);
    EXPECT_EQ(tray.PlatformIcon()->toolTip(), QString());
}

TEST_F(TrayIconTest, IconIndexTakesTheLastIconPastTheEndAndCyclingWraps) {
    tray.SetIconIndex(3);
    EXPECT_EQ(tray.IconIndex(), 0); // no list
    const QList<QIcon> icons{colour(Qt::red), colour(Qt::green), colour(Qt::blue)};
    tray.SetIconList(icons);
    tray.SetIconIndex(7);
    EXPECT_EQ(tray.IconIndex(), 7);
    EXPECT_EQ(tray.Icon().cacheKey(), icons[2].cacheKey());
    tray.SetIconIndex(-1);
    EXPECT_EQ(tray.IconIndex(), 0);
    EXPECT_EQ(tray.Icon().cacheKey(), icons[0].cacheKey());

    std::vector<int> next;
    tray.OnCycle = [&](TSysTrayIcon& sender, int nextIndex) {
        next.push_back(nextIndex);
        EXPECT_EQ(sender.Icon().cacheKey(), icons[(nextIndex + 2) % 3].cacheKey());
    };
    tray.SetCycleIcons(true);
    advance(1000);
    EXPECT_TRUE(next.empty()); // interval 0: idle
    tray.SetCycleInterval(100);
    advance(400);
    EXPECT_EQ(next, (std::vector<int>{1, 2, 0, 1}));
    EXPECT_EQ(tray.IconIndex(), 1);
    tray.SetCycleIcons(false);
    advance(400);
    EXPECT_EQ(next.size(), 4u);
}

TEST_F(DrivenTimerTest, StartupAnswerCanHideTheOwnerWindow) {
    QWidget owner;
    owner.show();
    TSysTrayIcon icon(&owner);
    icon.OnStartup = [](TSysTrayIcon&, bool& show) { show = !show; };
    icon.Loaded();
    EXPECT_FALSE(owner.isVisible());
}

class TrayWindowTest : public DrivenTimerTest {
protected:
    TrayWindowTest() {
        window = std::make_unique<TfrmMain>();
        window->ProfileEntriesEntry = [] { return ProfileEntries{}; };
        ui.ui.queueButton(ButtonNo); // no first profile
        window->show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    ~TrayWindowTest() override { window.reset(); }

    bool showEnabledInMenu() {
        emit window->PopupMenu->aboutToShow();
        return window->aShow->isEnabled();
    }

    test::ScopedScriptedUi ui;
    std::unique_ptr<TfrmMain> window;
};

TEST_F(TrayWindowTest, MinimisingHidesIntoTheTrayOnlyWhereOneExistsAndDoubleClickRestores) {
    EXPECT_EQ(window->TrayIcon->Hint(), window->TrayHint());
    EXPECT_FALSE(showEnabledInMenu());
    window->aShowExecute(); // visible: nothing
    EXPECT_FALSE(window->TrayIcon->IconVisible());

    window->TrayIcon->TrayAvailable = [] { return false; };
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->TrayIcon->IconVisible());
    window->setWindowState(Qt::WindowNoState);

    window->TrayIcon->TrayAvailable = [] { return true; };
    window->setWindowState(Qt::WindowMaximized); // other changes keep the window
    window->TrayIcon->MinimizeToTray = false;
    window->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    EXPECT_TRUE(window->isVisible());
    window->setWindowState(Qt::WindowMaximized);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->TrayIcon->IconVisible());
    window->TrayIcon->MinimizeToTray = true;
    window->setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TrayIcon->PlatformIcon()->isVisible());
    window->aShow->setEnabled(false); // as the list's menu left it while the window was shown

    window->TrayIcon->MouseNotification(TrayMouse::LeftDblClick);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowState(), Qt::WindowMaximized); // as it was before
    EXPECT_FALSE(window->TrayIcon->PlatformIcon()->isVisible());
    EXPECT_FALSE(window->TrayIcon->IconVisible());
    EXPECT_FALSE(showEnabledInMenu());
}

TEST_F(TrayWindowTest, UpdateCheckTellsEachOutcomeAndRestoresTheCursor) {
    struct Outcome {
        bool newer;
        std::string version, error, box;
    };
    const Outcome outcomes[] = {
        {true, "2.1.4.0", "", "A newer version (2.1.4.0) is available for download."},
        {false, "2.1.3.0", "Unable to connect to web server: HTTP status 404",
         "Unable to connect to web server: HTTP status 404"},
        {false, "2.1.3.0", "", "You have the latest version."},
        {false, "", "throw", "Out of memory"},
    };
    for (const Outcome& outcome : outcomes) {
        window->UpdateCheckEntry = [&](std::string& newVersion, std::string& errorText) {
            EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
            if (outcome.error == "throw")
                throw std::runtime_error("Out of memory");
            newVersion = outcome.version;
            errorText = outcome.error;
            return outcome.newer;
        };
        const std::size_t before = ui.ui.requests().size();
        window->aUpdateCheck->trigger();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        ASSERT_EQ(ui.ui.requests().size(), before + (outcome.newer ? 2 : 1));
        const ScriptedUiServices::Request& box = ui.ui.requests()[before];
        EXPECT_EQ(box.text, outcome.box);
        EXPECT_EQ(box.messageKind, outcome.error.empty() ? MessageKind::Information : MessageKind::Error);
        EXPECT_EQ(ui.ui.requests().back().text, outcome.newer ? kProductDownloadPage : outcome.box);
    }
}

TEST_F(DrivenTimerTest, FirstShowingConvertsOlderSettings) {
    TSettings root(SettingsRootKey);
    root.WriteString("Directories", "/srv/older");
    test::ScopedScriptedUi ui;
    {
        TfrmMain window;
        window.show();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(window.Profiles().rowCount(), 2); // the profile and its group
    }
    EXPECT_EQ(root.ReadString("Directories"), "");
    EXPECT_EQ(root.ReadSubKeyString("Old Profiles", "Name0", ""), "older");
    EXPECT_TRUE(ui.ui.requests().empty());
    root.DeleteSubKey("older");
    root.DeleteSubKey("Old Profiles");
}

} // namespace
} // namespace halcyra
