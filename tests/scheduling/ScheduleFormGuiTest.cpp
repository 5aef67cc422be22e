#include "scheduling/ScheduleForm.h"

#include "SchedulingTestSupport.h"
#include "gui/GuiTestSupport.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/Settings.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace halcyra {
namespace {

using test::child;

class ScheduleWindowTest : public test::SchedulerTest {
protected:
    ScheduleWindowTest() {
        EXPECT_TRUE(create("Halcyra Daily", "\"Daily\""));
        EXPECT_TRUE(FindProfileTask("Daily", task, shared, error));
    }
    ~ScheduleWindowTest() override {
        setTaskEditor(nullptr);
        TSettings root(SettingsRootKey);
        for (const char* suffix : {"_TOP", "_LEFT", "_WIDTH", "_HEIGHT"})
            root.DeleteValue(std::string("HY_frmSchedule") + suffix);
    }

    test::ScopedScriptedUi scripted;
    ScriptedUiServices& ui = scripted.ui;
    TSchedTask task;
    bool shared = false;
    std::string error;
};

TEST_F(ScheduleWindowTest, ShowsTheTaskOrThatThereIsNone) {
    TfrmSchedule window("Daily", &task, false, false, false);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Schedule for Daily"));
    EXPECT_EQ(window.size(), QSize(563, 236));
    EXPECT_EQ(child<QLineEdit>(&window, "eStatus")->text().toStdString(), task.StatusText);
    EXPECT_EQ(child<QLineEdit>(&window, "eSchedule")->text().toStdString(), task.TriggerText);
    EXPECT_EQ(child<QLineEdit>(&window, "eRecentRunDate")->text(), QStringLiteral("Unknown"));
    EXPECT_EQ(child<QLineEdit>(&window, "eShared")->text(), QStringLiteral("No"));
    EXPECT_TRUE(child<QPushButton>(&window, "bOK")->isDefault());

    TfrmSchedule none("Weekly", nullptr, false, false, false);
    none.show();
    EXPECT_EQ(none.eStatus->text(), QStringLiteral("Not yet created"));
    EXPECT_FALSE(none.bDelete->isEnabled() || none.bEditTask->isEnabled());
    QTest::keyClick(&none, Qt::Key_Escape);
    EXPECT_TRUE(ui.requests().empty());
    EXPECT_TRUE(none.isVisible());
}

TEST_F(ScheduleWindowTest, EscapeAsksTheDeleteQuestionAndNoLeavesEverything) {
    TfrmSchedule window("Daily", &task, false, false, false);
    window.show();
    ui.queueButton(ButtonNo);
    QTest::keyClick(&window, Qt::Key_Escape);
    ASSERT_EQ(ui.requests().size(), 1u);
    EXPECT_EQ(ui.requests()[0].text, "Are you sure you want to delete the schedule for Daily?");
    EXPECT_EQ(ui.requests()[0].defaultButton, ButtonNo);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(IsProfileScheduled("Daily", shared));

    ui.queueButton(ButtonYes);
    window.bDelete->click();
    EXPECT_EQ(ui.requests().back().text, "Schedule deleted!");
    EXPECT_FALSE(window.isVisible());
}

TEST_F(ScheduleWindowTest, ANewTaskOpensItsPropertyPagesBeforeTheWindowShows) {
    int calls = 0;
    bool windowVisible = true;
    setTaskEditor([&](QWidget* parent, ScheduledTask& opened) {
        ++calls;
        windowVisible = parent != nullptr && parent->isVisible();
        opened.job.parameters = "\"Daily\" \"Weekly\"";
        return SaveTask(opened) == 0;
    });
    TfrmSchedule window("Daily", &task, false, true, false);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(windowVisible);
    EXPECT_TRUE(ui.requests().empty()); // no password warning
    EXPECT_EQ(window.eShared->text(), QStringLiteral("Yes"));

    window.show();
    window.bEditTask->click();
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(windowVisible);
}

TEST_F(ScheduleWindowTest, PlacementIsRestoredOnScreenOnlyAndTheSizeStaysFixed) {
    TSettings root(SettingsRootKey);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    root.WriteInteger("HY_frmSchedule_TOP", area.top() + 20);
    root.WriteInteger("HY_frmSchedule_LEFT", area.left() + 30);
    root.WriteInteger("HY_frmSchedule_WIDTH", 900);
    root.WriteInteger("HY_frmSchedule_HEIGHT", 700);
    {
        TfrmSchedule window("Daily", &task, false, false, false);
        EXPECT_EQ(window.pos(), QPoint(area.left() + 30, area.top() + 20));
        EXPECT_EQ(window.size(), QSize(563, 236));
        window.move(area.left() + 40, area.top() + 10);
        window.show();
        window.bOK->click();
    }
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_LEFT"), area.left() + 40);
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_TOP"), area.top() + 10);
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_WIDTH"), 563);

    // A stored size that reached a screen does not bring a window of this size onto it.
    root.WriteInteger("HY_frmSchedule_LEFT", area.right() - 5);
    root.WriteInteger("HY_frmSchedule_WIDTH", 900);
    TfrmSchedule offScreen("Daily", &task, false, false, false);
    EXPECT_TRUE(area.contains(QRect(offScreen.pos(), offScreen.size()))) << offScreen.x();
}

TEST_F(ScheduleWindowTest, EditScheduleShowsTheWindowModally) {
    bool seen = false;
    test::onModal([&](QWidget* modal) {
        auto* window = qobject_cast<TfrmSchedule*>(modal);
        ASSERT_NE(window, nullptr);
        seen = true;
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Schedule for daily"));
        window->bOK->click();
    });
    TfrmSchedule::editScheduleEntry()("daily", "");
    EXPECT_TRUE(seen);
    EXPECT_TRUE(ui.requests().empty());
}

} // namespace
} // namespace halcyra
