#include "scheduling/TaskPropertiesDialog.h"

#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "platform/UiServices.h"
#include "scheduling/TaskSchedule.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace halcyra {

namespace {

// Julian day number of 01/01/1970, where day numbers of triggers start.
constexpr qint64 UnixEpochJulianDay = 2440588;
constexpr std::uint32_t MsPerMinute = 60000;

QDate dateOfDay(std::int64_t day) {
    return QDate::fromJulianDay(day + UnixEpochJulianDay);
}

std::int64_t dayOfDate(const QDate& date) {
    return date.toJulianDay() - UnixEpochJulianDay;
}

std::string qtText(const QString& value) {
    return value.toUtf8().toStdString();
}

QString path(const std::string& value) {
    return QFile::decodeName(QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

std::string path(const QString& value) {
    return QFile::encodeName(value).toStdString();
}

std::int64_t today() {
    TaskScheduler* scheduler = currentScheduler();
    const std::int64_t now = scheduler != nullptr ? scheduler->setup().clock->now() : Clock::system().now();
    return dayOf(localDateTime(now));
}

template <class T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TaskPropertiesDialog::TaskPropertiesDialog(ScheduledTask& task, QWidget* parent)
    : QDialog(parent), m_task(task), m_triggers(task.job.triggers) {
    setObjectName(QStringLiteral("TaskPropertiesDialog"));
    setWindowTitle(qtText(task.job.name));
    auto* tabs = named(new QTabWidget(this), "tabs");

    auto* taskPage = new QWidget;
    auto* taskForm = new QFormLayout(taskPage);
    m_application = named(new QLineEdit(path(task.job.application)), "eApplication");
    m_parameters = named(new QLineEdit(qtText(task.job.parameters)), "eParameters");
    m_workingDirectory = named(new QLineEdit(path(task.job.workingDirectory)), "eWorkingDirectory");
    m_comment = named(new QLineEdit(qtText(task.job.comment)), "eComment");
    m_enabled = named(new QCheckBox(tr("Enabled (the task runs at the scheduled times)")), "cbEnabled");
    m_enabled->setChecked((task.job.flags & TaskFlagDisabled) == 0);
    taskForm->addRow(tr("Run:"), m_application);
    taskForm->addRow(tr("Parameters:"), m_parameters);
    taskForm->addRow(tr("Start in:"), m_workingDirectory);
    taskForm->addRow(tr("Comment:"), m_comment);
    taskForm->addRow(m_enabled);
    tabs->addTab(taskPage, tr("Task"));

    auto* schedulePage = new QWidget;
    auto* scheduleLayout = new QVBoxLayout(schedulePage);
    m_triggerList = named(new QListWidget, "lbTriggers");
    scheduleLayout->addWidget(m_triggerList);
    auto* triggerButtons = new QHBoxLayout;
    m_newTrigger = named(new QPushButton(tr("New")), "bNewTrigger");
    m_deleteTrigger = named(new QPushButton(tr("Delete")), "bDeleteTrigger");
    triggerButtons->addWidget(m_newTrigger);
    triggerButtons->addWidget(m_deleteTrigger);
    triggerButtons->addStretch();
    scheduleLayout->addLayout(triggerButtons);
    auto* triggerForm = new QFormLayout;
    m_daysInterval = named(new QSpinBox, "seDaysInterval");
    m_daysInterval->setRange(1, 9999);
    m_daysInterval->setSuffix(tr(" day(s)"));
    m_startTime = named(new QTimeEdit, "teStartTime");
    m_startTime->setDisplayFormat(QStringLiteral("HH:mm"));
    m_startDate = named(new QDateEdit, "deStartDate");
    m_startDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_startDate->setCalendarPopup(true);
    m_hasEndDate = named(new QCheckBox(tr("End date:")), "cbEndDate");
    m_endDate = named(new QDateEdit, "deEndDate");
    m_endDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_endDate->setCalendarPopup(true);
    m_triggerEnabled = named(new QCheckBox(tr("This schedule is enabled")), "cbTriggerEnabled");
    triggerForm->addRow(tr("Every:"), m_daysInterval);
    triggerForm->addRow(tr("Start time:"), m_startTime);
    triggerForm->addRow(tr("Start date:"), m_startDate);
    triggerForm->addRow(m_hasEndDate, m_endDate);
    triggerForm->addRow(m_triggerEnabled);
    scheduleLayout->addLayout(triggerForm);
    tabs->addTab(schedulePage, tr("Schedule"));

    auto* settingsPage = new QWidget;
    auto* settingsLayout = new QVBoxLayout(settingsPage);
    auto* stopRow = new QHBoxLayout;
    m_stopAfter = named(new QCheckBox(tr("Stop the task if it runs for:")), "cbStopAfter");
    m_stopHours = named(new QSpinBox, "seStopHours");
    m_stopHours->setRange(0, 999);
    m_stopHours->setSuffix(tr(" hour(s)"));
    m_stopMinutes = named(new QSpinBox, "seStopMinutes");
    m_stopMinutes->setRange(0, 59);
    m_stopMinutes->setSuffix(tr(" minute(s)"));
    stopRow->addWidget(m_stopAfter);
    stopRow->addWidget(m_stopHours);
    stopRow->addWidget(m_stopMinutes);
    stopRow->addStretch();
    settingsLayout->addLayout(stopRow);
    m_dontStartOnBatteries =
        named(new QCheckBox(tr("Don't start the task if the computer is running on batteries")),
              "cbDontStartOnBatteries");
    settingsLayout->addWidget(m_dontStartOnBatteries);
    settingsLayout->addStretch();
    tabs->addTab(settingsPage, tr("Settings"));

    const std::uint32_t limit = task.job.maxRunTimeMs;
    const bool limited = limit != 0 && limit != NoRunTimeLimit;
    m_stopAfter->setChecked(limited);
    m_stopHours->setValue(limited ? static_cast<int>(limit / (60 * MsPerMinute)) : 72);
    m_stopMinutes->setValue(limited ? static_cast<int>(limit / MsPerMinute % 60) : 0);
    m_dontStartOnBatteries->setChecked((task.job.flags & TaskFlagDontStartIfOnBatteries) != 0);

    auto* buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel), "buttons");
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("bOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("bCancel"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (apply())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_triggerList, &QListWidget::currentRowChanged, this, &TaskPropertiesDialog::selectTrigger);
    connect(m_newTrigger, &QPushButton::clicked, this, &TaskPropertiesDialog::addTrigger);
    connect(m_deleteTrigger, &QPushButton::clicked, this, &TaskPropertiesDialog::deleteTrigger);
    auto triggerEdited = [this] {
        if (m_loading || m_currentRow < 0)
            return;
        storeTrigger(m_currentRow);
        refreshTriggerList();
        updateEnabling();
    };
    connect(m_daysInterval, &QSpinBox::valueChanged, this, triggerEdited);
    connect(m_startTime, &QTimeEdit::timeChanged, this, triggerEdited);
    connect(m_startDate, &QDateEdit::dateChanged, this, triggerEdited);
    connect(m_hasEndDate, &QCheckBox::toggled, this, triggerEdited);
    connect(m_endDate, &QDateEdit::dateChanged, this, triggerEdited);
    connect(m_triggerEnabled, &QCheckBox::toggled, this, triggerEdited);
    connect(m_stopAfter, &QCheckBox::toggled, this, &TaskPropertiesDialog::updateEnabling);

    refreshTriggerList();
    showTrigger(m_triggers.empty() ? -1 : 0);
}

void TaskPropertiesDialog::showTrigger(int row) {
    m_loading = true;
    m_triggerList->setCurrentRow(row);
    m_loading = false;
    loadTrigger(row);
    updateEnabling();
}

void TaskPropertiesDialog::refreshTriggerList() {
    const bool wasLoading = m_loading;
    m_loading = true;
    while (m_triggerList->count() > static_cast<int>(m_triggers.size()))
        delete m_triggerList->takeItem(m_triggerList->count() - 1);
    for (std::size_t i = 0; i < m_triggers.size(); ++i) {
        const QString description = qtText(describeTrigger(m_triggers[i]));
        if (static_cast<int>(i) < m_triggerList->count())
            m_triggerList->item(static_cast<int>(i))->setText(description);
        else
            m_triggerList->addItem(description);
    }
    m_loading = wasLoading;
}

void TaskPropertiesDialog::loadTrigger(int row) {
    m_loading = true;
    m_currentRow = row;
    TaskTrigger trigger;
    if (row >= 0)
        trigger = m_triggers[static_cast<std::size_t>(row)];
    else
        trigger.startDay = today();
    m_daysInterval->setValue(trigger.daysInterval);
    m_startTime->setTime(QTime(trigger.startMinute / 60, trigger.startMinute % 60));
    m_startDate->setDate(dateOfDay(trigger.startDay));
    m_hasEndDate->setChecked(trigger.endDay.has_value());
    m_endDate->setDate(dateOfDay(trigger.endDay.value_or(trigger.startDay)));
    m_triggerEnabled->setChecked(trigger.enabled);
    m_loading = false;
}

void TaskPropertiesDialog::storeTrigger(int row) {
    if (row < 0 || row >= static_cast<int>(m_triggers.size()))
        return;
    TaskTrigger& trigger = m_triggers[static_cast<std::size_t>(row)];
    trigger.daysInterval = m_daysInterval->value();
    const QTime time = m_startTime->time();
    trigger.startMinute = time.hour() * 60 + time.minute();
    trigger.startDay = dayOfDate(m_startDate->date());
    trigger.endDay.reset();
    if (m_hasEndDate->isChecked())
        trigger.endDay = dayOfDate(m_endDate->date());
    trigger.enabled = m_triggerEnabled->isChecked();
}

void TaskPropertiesDialog::selectTrigger(int row) {
    if (m_loading)
        return;
    loadTrigger(row);
    updateEnabling();
}

void TaskPropertiesDialog::addTrigger() {
    TaskTrigger trigger;
    trigger.startDay = today();
    m_triggers.push_back(trigger);
    refreshTriggerList();
    showTrigger(static_cast<int>(m_triggers.size()) - 1);
}

void TaskPropertiesDialog::deleteTrigger() {
    if (m_currentRow < 0 || m_currentRow >= static_cast<int>(m_triggers.size()))
        return;
    const int row = m_currentRow;
    m_triggers.erase(m_triggers.begin() + row);
    m_currentRow = -1;
    refreshTriggerList();
    showTrigger(m_triggers.empty() ? -1 : std::min(row, static_cast<int>(m_triggers.size()) - 1));
}

void TaskPropertiesDialog::updateEnabling() {
    const bool haveTrigger = m_currentRow >= 0;
    for (QWidget* widget : std::initializer_list<QWidget*>{m_deleteTrigger, m_daysInterval, m_startTime,
                                                           m_startDate, m_hasEndDate, m_triggerEnabled})
        widget->setEnabled(haveTrigger);
    m_endDate->setEnabled(haveTrigger && m_hasEndDate->isChecked());
    m_stopHours->setEnabled(m_stopAfter->isChecked());
    m_stopMinutes->setEnabled(m_stopAfter->isChecked());
}

bool TaskPropertiesDialog::apply() {
    storeTrigger(m_currentRow);
    ScheduledTask edited = m_task;
    TaskJob& job = edited.job;
    job.application = path(m_application->text());
    job.parameters = qtText(m_parameters->text());
    job.workingDirectory = path(m_workingDirectory->text());
    job.comment = qtText(m_comment->text());
    job.flags &= ~(TaskFlagDisabled | TaskFlagDontStartIfOnBatteries);
    if (!m_enabled->isChecked())
        job.flags |= TaskFlagDisabled;
    if (m_dontStartOnBatteries->isChecked())
        job.flags |= TaskFlagDontStartIfOnBatteries;
    const std::uint32_t minutes =
        static_cast<std::uint32_t>(m_stopHours->value() * 60 + m_stopMinutes->value());
    job.maxRunTimeMs = m_stopAfter->isChecked() && minutes > 0 ? minutes * MsPerMinute : NoRunTimeLimit;
    job.triggers = m_triggers;

    std::string error;
    if (SaveTask(edited, error) != SchedCode::Ok) {
        if (UiServices* ui = currentUiServices())
            showError(*ui, "The task could not be saved: " + error);
        return false;
    }
    m_task = std::move(edited);
    return true;
}

void installTaskPropertiesEditor() {
    setTaskEditor([](QWidget* parent, ScheduledTask& task) {
        TaskPropertiesDialog dialog(task, parent);
        dialog.exec();
        return true;
    });
}

void restoreScheduledTasksAtStart() {
    std::string error;
    if (!RestoreScheduledTasks(error) && currentUiServices() != nullptr)
        showError(*currentUiServices(),
                  "The scheduled tasks could not be put back into the crontab: " + error);
}

} // namespace halcyra
