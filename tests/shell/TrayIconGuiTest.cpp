#include "shell/MainForm.h"
#include "shell/SysTray.h"
#include "shell/WindowTimer.h"

#include "../scheduling/SchedulingTestSupport.h"
#include "base/Product.h"
#include "gui/GuiTestSupport.h"

#include <QAction>
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

// Platform timers on a clock the test drives: advance() delivers every tick that falls due, in time order.
class DrivenTimers : public TimerPlatform {
public:
    explicit DrivenTimers(std::function<void(std::uint64_t)> tick) : m_tick(std::move(tick)) {
        current = this;
    }
    ~DrivenTimers() override { current = nullptr; }

    bool SetTimer(std::uint64_t id, std::int32_t interval) override {
        if (interval <= 0)
            return false;
        m_timers[id] = {m_now + interval, interval};
        return true;
    }
    bool KillTimer(std::uint64_t id) override { return m_timers.erase(id) > 0; }

    void advance(long ms) {
        const long end = m_now + ms;
        for (;;) {
            auto next = m_timers.end();
            for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
                if (it->second.due <= end && (next == m_timers.end() || it->second.due < next->second.due))
                    next = it;
            if (next == m_timers.end())
                break;
            m_now = next->second.due;
            next->second.due += next->second.interval;
            m_tick(next->first);
            if (current == nullptr)
                return; // the last timer went, and the platform with it
        }
        m_now = end;
    }
    void tick(std::uint64_t id) { m_tick(id); }

    static inline DrivenTimers* current = nullptr;

private:
    struct Timer {
        long due;
        long interval;
    };
    std::function<void(std::uint64_t)> m_tick;
    std::map<std::uint64_t, Timer> m_timers;
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
    auto timer = std::make_unique<TWindowTimer>();
    EXPECT_EQ(timer->Interval(), 1000);
    EXPECT_FALSE(timer->Enabled());
    timer->SetOnTimer([&](TWindowTimer&) { ++ticks; });
    EXPECT_EQ(TWindowTimerHandler::RefCount(), 1);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 0);

    timer->SetEnabled(true);
    advance(2500);
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 1);

    timer->SetInterval(0); // stays enabled, no ticks
    advance(5000);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 0);
    timer->SetInterval(200);
    advance(1000);
    EXPECT_EQ(ticks, 7);

    timer->SetOnTimer(nullptr);
    advance(1000);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 0);
    timer->SetOnTimer([&](TWindowTimer&) { ++ticks; });
    advance(200);
    EXPECT_EQ(ticks, 8);

    timer->SetEnabled(false);
    advance(1000);
    EXPECT_EQ(ticks, 8);
    EXPECT_EQ(TWindowTimerHandler::ActiveCount(), 0);

    TWindowTimer idle(0, [&](TWindowTimer&) { ++ticks; });
    EXPECT_FALSE(idle.Start());
    idle.SetEnabled(true);
    EXPECT_FALSE(idle.Enabled());
    EXPECT_EQ(TWindowTimerHandler::RefCount(), 2);
    timer.reset();
    EXPECT_EQ(TWindowTimerHandler::RefCount(), 1);
}

TEST_F(TimerTest, AutoDisableTicksOnceAndFreedTimersGetNoTicks) {
    int firstTicks = 0;
    int secondTicks = 0;
    TWindowTimer once(100, [&](TWindowTimer&) { ++firstTicks; });
    once.AutoDisable = true;
    once.SetEnabled(true);
    advance(1000);
    EXPECT_EQ(firstTicks, 1);
    EXPECT_FALSE(once.Enabled());

    // A tick that falls due together with the tick that frees its timer is dropped.
    std::unique_ptr<TWindowTimer> second;
    TWindowTimer killer(100, [&](TWindowTimer&) { second.reset(); });
    second = std::make_unique<TWindowTimer>(100, [&](TWindowTimer&) { ++secondTicks; });
    killer.SetEnabled(true);
    second->SetEnabled(true);
    const std::uint64_t freedId = second->Id();
    advance(100);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(secondTicks, 0);
    DrivenTimers::current->tick(freedId); // a late report for it
    EXPECT_EQ(secondTicks, 0);

    // A timer may free itself from its own tick.
    auto* self = new TWindowTimer(50, [](TWindowTimer& sender) { delete &sender; });
    self->SetEnabled(true);
    advance(50);
    killer.SetEnabled(false);
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
    void click() {
        tray.MouseNotification(TrayMouse::LeftDown);
        tray.MouseNotification(TrayMouse::LeftUp);
    }
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
    tray.MouseNotification(TrayMouse::LeftDblClick);
    tray.MouseNotification(TrayMouse::LeftUp);
    advance(10 * doubleClickTime());
    EXPECT_EQ(doubleClicks, 1);
    EXPECT_EQ(clicks, 1);

    tray.OnDblClick = nullptr; // no double-click to wait for: the click comes at once
    click();
    EXPECT_EQ(clicks, 2);

    tray.Enabled = false;
    click();
    tray.MouseNotification(TrayMouse::RightDown);
    advance(10 * doubleClickTime());
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(downs, (std::vector<Qt::MouseButton>{Qt::LeftButton, Qt::LeftButton, Qt::LeftButton}));
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
    window->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(window->TrayIcon->IconVisible());
    window->aShow->setEnabled(false); // as the list's menu left it while the window was shown

    window->TrayIcon->MouseNotification(TrayMouse::LeftDblClick);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->isMinimized());
    EXPECT_FALSE(window->TrayIcon->IconVisible());
    EXPECT_FALSE(showEnabledInMenu());
}

TEST_F(TrayWindowTest, UpdateCheckTellsEachOutcomeAndRestoresTheCursor) {
    std::string version;
    std::string error;
    bool newer = false;
    window->UpdateCheckEntry = [&](std::string& newVersion, std::string& errorText) {
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
        if (error == "throw")
            throw std::runtime_error("Out of memory");
        newVersion = version;
        errorText = error;
        return newer;
    };
    const std::size_t before = ui.ui.requests().size();
    auto lastBox = [&] { return ui.ui.requests().back(); };

    newer = true;
    version = "2.1.4.0";
    window->aUpdateCheck->trigger();
    ASSERT_EQ(ui.ui.requests().size(), before + 2);
    EXPECT_EQ(ui.ui.requests()[before].text, "A newer version (2.1.4.0) is available for download.");
    EXPECT_EQ(ui.ui.requests()[before].messageKind, MessageKind::Information);
    EXPECT_EQ(lastBox().kind, ScriptedUiServices::RequestKind::OpenDocument);
    EXPECT_EQ(lastBox().text, kProductDownloadPage);

    newer = false;
    error = "Unable to connect to web server: HTTP status 404";
    window->aUpdateCheck->trigger();
    EXPECT_EQ(lastBox().text, error);
    EXPECT_EQ(lastBox().messageKind, MessageKind::Error);

    error.clear();
    window->aUpdateCheck->trigger();
    EXPECT_EQ(lastBox().text, "You have the latest version.");

    error = "throw";
    window->aUpdateCheck->trigger();
    EXPECT_EQ(lastBox().text, "Out of memory");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
} // namespace halcyra
