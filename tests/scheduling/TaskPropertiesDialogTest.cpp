#include "scheduling/TaskPropertiesDialog.h"

#include "SchedulingTestSupport.h"
#include "gui/GuiTestSupport.h"
#include "scheduling/CronTable.h"
#include "scheduling/ScheduleLookups.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>

namespace halcyra {
namespace {

using test::child;

class TaskPropertiesDialogTest : public test::SchedulerTest {
protected:
    TaskPropertiesDialogTest() {
        setenv("TZ", "UTC", 1);
        tzset();
        EXPECT_TRUE(create("Halcyra Daily", "\"Daily\""));
    }
    std::unique_ptr<ScheduledTask> task() { return GetTask("Halcyra Daily"); }
};

TEST_F(TaskPropertiesDialogTest, ShowsTheTaskAndSavesEdits) {
    auto opened = task();
    ASSERT_TRUE(opened);
    TaskPropertiesDialog dialog(*opened);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Halcyra Daily"));
    EXPECT_EQ(child<QLineEdit>(&dialog, "eParameters")->text(), QStringLiteral("\"Daily\""));
    EXPECT_EQ(child<QLineEdit>(&dialog, "eApplication")->text(), QStringLiteral("/opt/halcyra/bin/Halcyra"));
    EXPECT_EQ(child<QLineEdit>(&dialog, "eComment")->text(), QStringLiteral("Task created by Halcyra"));
    EXPECT_TRUE(child<QCheckBox>(&dialog, "cbEnabled")->isChecked());
    EXPECT_EQ(child<QListWidget>(&dialog, "lbTriggers")->count(), 1);
    EXPECT_EQ(child<QTimeEdit>(&dialog, "teStartTime")->time(), QTime(9, 0));
    EXPECT_EQ(child<QSpinBox>(&dialog, "seDaysInterval")->value(), 1);
    EXPECT_TRUE(child<QCheckBox>(&dialog, "cbStopAfter")->isChecked());
    EXPECT_EQ(child<QSpinBox>(&dialog, "seStopHours")->value(), 23);
    EXPECT_TRUE(child<QCheckBox>(&dialog, "cbDontStartOnBatteries")->isChecked());

    child<QLineEdit>(&dialog, "eParameters")->setText(QStringLiteral("-i \"New Name\""));
    child<QTimeEdit>(&dialog, "teStartTime")->setTime(QTime(18, 30));
    child<QSpinBox>(&dialog, "seDaysInterval")->setValue(2);
    child<QCheckBox>(&dialog, "cbDontStartOnBatteries")->setChecked(false);
    EXPECT_EQ(child<QListWidget>(&dialog, "lbTriggers")->item(0)->text(),
              QStringLiteral("At 18:30 every 2 days, starting 2024-05-01"));
    child<QPushButton>(&dialog, "bOK")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    auto saved = task();
    EXPECT_EQ(saved->job.parameters, "-i \"New Name\"");
    EXPECT_EQ(saved->job.flags, 0u);
    EXPECT_EQ(saved->job.triggers[0].startMinute, 18 * 60 + 30);
    EXPECT_EQ(saved->job.triggers[0].daysInterval, 2);
    EXPECT_EQ(blockLines()[0].rfind("30 18 * * * ", 0), 0u);
    bool shared = true;
    EXPECT_TRUE(IsProfileScheduled("New Name", shared));
    EXPECT_FALSE(shared);
}

TEST_F(TaskPropertiesDialogTest, SchedulesCanBeAddedAndRemoved) {
    auto opened = task();
    {
        TaskPropertiesDialog dialog(*opened);
        child<QPushButton>(&dialog, "bNewTrigger")->click();
        EXPECT_EQ(child<QListWidget>(&dialog, "lbTriggers")->count(), 2);
        child<QTimeEdit>(&dialog, "teStartTime")->setTime(QTime(21, 15));
        ASSERT_TRUE(dialog.apply());
    }
    ASSERT_EQ(task()->job.triggers.size(), 2u);
    EXPECT_EQ(task()->job.triggers[1].startMinute, 21 * 60 + 15);
    EXPECT_EQ(blockLines().size(), 2u);
    TSchedTask record;
    bool shared = false;
    std::string error;
    ASSERT_TRUE(FindProfileTask("Daily", record, shared, error));
    EXPECT_EQ(record.TriggerText, "Multiple schedule times");

    opened = task();
    TaskPropertiesDialog dialog(*opened);
    child<QPushButton>(&dialog, "bDeleteTrigger")->click();
    child<QPushButton>(&dialog, "bDeleteTrigger")->click();
    EXPECT_EQ(child<QListWidget>(&dialog, "lbTriggers")->count(), 0);
    EXPECT_FALSE(child<QPushButton>(&dialog, "bDeleteTrigger")->isEnabled());
    ASSERT_TRUE(dialog.apply());
    EXPECT_TRUE(task()->job.triggers.empty());
    EXPECT_TRUE(blockLines().empty());
}

TEST_F(TaskPropertiesDialogTest, FailedSaveIsShownAndTheDialogStaysOpen) {
    test::ScopedScriptedUi scripted;
    auto opened = task();
    TaskPropertiesDialog dialog(*opened);
    dialog.show();
    child<QLineEdit>(&dialog, "eParameters")->setText(QStringLiteral("\"Other\""));
    crontab->failRead = true;
    child<QPushButton>(&dialog, "bOK")->click();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(scripted.ui.requests().size(), 1u);
    EXPECT_EQ(scripted.ui.requests()[0].messageKind, MessageKind::Error);
    EXPECT_EQ(scripted.ui.requests()[0].text.rfind("The task could not be saved: ", 0), 0u);
    child<QPushButton>(&dialog, "bCancel")->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(task()->job.parameters, "\"Daily\"");
}

TEST_F(TaskPropertiesDialogTest, EditTaskShowsTheDialogModally) {
    installTaskPropertiesEditor();
    test::onModal([](QWidget* modal) {
        child<QLineEdit>(modal, "eParameters")->setText(QStringLiteral("\"Renamed\""));
        child<QPushButton>(modal, "bOK")->click();
    });
    EXPECT_TRUE(EditTask(nullptr, "halcyra daily"));
    test::onModal([](QWidget* modal) { child<QPushButton>(modal, "bCancel")->click(); });
    EXPECT_TRUE(EditTask(nullptr, "Halcyra Daily"));
    EXPECT_FALSE(EditTask(nullptr, "No Such Task"));
    setTaskEditor(nullptr);
    EXPECT_EQ(task()->job.parameters, "\"Renamed\"");
}

} // namespace
} // namespace halcyra
