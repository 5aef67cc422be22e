#pragma once

#include "scheduling/ScheduleFlow.h"

#include <QDialog>

#include <functional>
#include <string>
#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

namespace halcyra {

class UiServices;

// The schedule window of one profile: the status, next and most recent run, schedule and sharing of the
// profile's task, with buttons to edit the task's properties and to delete it. Escape asks the delete
// question. The placement is remembered under "frmSchedule"; the size is fixed.
class TfrmSchedule : public QDialog {
    Q_OBJECT

public:
    // Shows the schedule of `ProfileName`, offering to create one when there is none. `ExtraParams` go
    // before the profile name in a new task's parameters. In a session without a display nothing is shown.
    static void EditSchedule(std::string_view ProfileName, std::string_view ExtraParams);

    // The entry other windows call: EditSchedule, or what a test installed instead.
    using EditScheduleEntry = std::function<void(std::string_view ProfileName, std::string_view ExtraParams)>;
    static EditScheduleEntry& editScheduleEntry();

    // `Task` null: the profile has no task. With `JustCreated` the task's property pages open before the
    // window is shown (after the password warning, when `NeedPassword`). Prompts go to the installed UI
    // services.
    TfrmSchedule(const std::string& ProfileName, const TSchedTask* Task, bool Shared, bool JustCreated,
                 bool NeedPassword);

    const ScheduleSession& session() const { return m_session; }

    QLabel* Label1 = nullptr;
    QLineEdit* eStatus = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* eNextRunDate = nullptr;
    QLineEdit* eNextRun = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* eRecentRunDate = nullptr;
    QLineEdit* eRecentRun = nullptr;
    QLabel* lSchedule = nullptr;
    QLineEdit* eSchedule = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* eShared = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bDelete = nullptr;
    QPushButton* bEditTask = nullptr;

public slots:
    void bDeleteClick();
    void bEditTaskClick();

protected:
    // Escape presses bDelete.
    void reject() override;
    // The title bar's close button closes the window without asking anything.
    void closeEvent(QCloseEvent* event) override;
    void done(int result) override;

private:
    void FormCreate();
    void ShowTaskInfo();

    UiServices& m_ui;
    ScheduleSession m_session;
};

} // namespace halcyra
