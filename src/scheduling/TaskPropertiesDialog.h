#pragma once

#include "scheduling/MsTaskUtils.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimeEdit;

namespace halcyra {

// The property dialog of one scheduled task: what it starts (program, parameters, working folder, comment,
// enabled), its schedules (every N days at a time, from a start date to an optional end date, each enabled or
// not; several allowed) and its settings (time limit, "do not start on batteries"). OK saves the task with
// SaveTask; when saving fails the error is shown through the UI services and the dialog stays open. Cancel
// changes nothing.
class TaskPropertiesDialog : public QDialog {
    Q_OBJECT

public:
    TaskPropertiesDialog(ScheduledTask& task, QWidget* parent = nullptr);

    // Writes the dialog's values into the task and saves it; true when saved.
    bool apply();

private:
    void loadTrigger(int row);
    void storeTrigger(int row);
    void refreshTriggerList();
    void selectTrigger(int row);
    void showTrigger(int row);
    void addTrigger();
    void deleteTrigger();
    void updateEnabling();

    ScheduledTask& m_task;
    std::vector<TaskTrigger> m_triggers;
    int m_currentRow = -1;
    bool m_loading = false;

    QLineEdit* m_application = nullptr;
    QLineEdit* m_parameters = nullptr;
    QLineEdit* m_workingDirectory = nullptr;
    QLineEdit* m_comment = nullptr;
    QCheckBox* m_enabled = nullptr;
    QListWidget* m_triggerList = nullptr;
    QPushButton* m_newTrigger = nullptr;
    QPushButton* m_deleteTrigger = nullptr;
    QSpinBox* m_daysInterval = nullptr;
    QTimeEdit* m_startTime = nullptr;
    QDateEdit* m_startDate = nullptr;
    QCheckBox* m_hasEndDate = nullptr;
    QDateEdit* m_endDate = nullptr;
    QCheckBox* m_triggerEnabled = nullptr;
    QCheckBox* m_stopAfter = nullptr;
    QSpinBox* m_stopHours = nullptr;
    QSpinBox* m_stopMinutes = nullptr;
    QCheckBox* m_dontStartOnBatteries = nullptr;
};

// Makes EditTask show TaskPropertiesDialog (modal over the given parent). The desktop program calls this once
// at start.
void installTaskPropertiesEditor();

// Puts back the crontab lines of enabled tasks that are missing (RestoreScheduledTasks), as the desktop
// program does once at start; a failure is shown through the current UI services.
void restoreScheduledTasksAtStart();

} // namespace halcyra
