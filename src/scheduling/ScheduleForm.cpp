#include "scheduling/ScheduleForm.h"

#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "scheduling/MsTaskUtils.h"
#include "settings/FormWindow.h"
#include "settings/Settings.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace halcyra {

namespace {

constexpr int ClientWidth = 563;
constexpr int ClientHeight = 236;

// The placement of a window of fixed size: only its position is restored, and only when its title bar
// would be reachable on some screen.
class FixedSizePlacement final : public FormWindow {
public:
    FixedSizePlacement(QWidget& window, std::string name) : m_window(window), m_name(std::move(name)) {}

    std::string name() const override { return m_name; }
    ScreenRect bounds() const override {
        return {m_window.x(), m_window.y(), m_window.width(), m_window.height()};
    }
    void setBounds(const ScreenRect& bounds) override { m_window.move(bounds.left, bounds.top); }
    void centreOnScreen() override {
        const QScreen* screen = m_window.screen() ? m_window.screen() : QGuiApplication::primaryScreen();
        if (screen == nullptr)
            return;
        const QRect area = screen->availableGeometry();
        const ScreenPoint corner = centredInWorkArea({area.x(), area.y(), area.width(), area.height()},
                                                     m_window.width(), m_window.height());
        m_window.move(corner.x, corner.y);
    }
    bool touchesAnyScreen(const ScreenRect& bounds) const override {
        // The window keeps its own size; its top edge must lie on a screen with enough of its width
        // showing to grab it.
        const int width = m_window.width();
        const QRect titleStrip(bounds.left, bounds.top, width, 1);
        const int needed = std::min(width, 100);
        for (const QScreen* screen : QGuiApplication::screens())
            if (titleStrip.intersected(screen->availableGeometry()).width() >= needed)
                return true;
        return false;
    }
    void setAutoScroll(bool) override {}

private:
    QWidget& m_window;
    std::string m_name;
};

QLineEdit* readOnlyEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    return edit;
}

QLabel* namedLabel(QWidget* parent, const char* name, const char* text) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

TfrmSchedule::EditScheduleEntry& TfrmSchedule::editScheduleEntry() {
    static EditScheduleEntry entry = [](std::string_view profileName, std::string_view extraParams) {
        EditSchedule(profileName, extraParams);
    };
    return entry;
}

void TfrmSchedule::EditSchedule(std::string_view ProfileName, std::string_view ExtraParams) {
    if (isHeadlessSession()) {
        reportSkippedWindow("schedule window", "the schedule was left as it is.");
        return;
    }
    editProfileSchedule(activeUiServices(), ProfileName, ExtraParams,
                        [](const std::string& profile, const TSchedTask* task, bool shared, bool justCreated,
                           bool needPassword) {
                            TfrmSchedule window(profile, task, shared, justCreated, needPassword);
                            window.exec();
                        });
}

TfrmSchedule::TfrmSchedule(const std::string& ProfileName, const TSchedTask* Task, bool Shared,
                           bool JustCreated, bool NeedPassword)
    : QDialog(nullptr,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_ui(activeUiServices()),
      m_session(ProfileName, Task ? std::optional<TSchedTask>(*Task) : std::nullopt, Shared) {
    setObjectName(QStringLiteral("frmSchedule"));
    setWindowTitle(QStringLiteral("Schedule for ") + qtText(ProfileName));
    setFixedSize(ClientWidth, ClientHeight);

    Label1 = namedLabel(this, "Label1", "Status");
    eStatus = readOnlyEdit(this, "eStatus");
    Label2 = namedLabel(this, "Label2", "Next Run");
    eNextRunDate = readOnlyEdit(this, "eNextRunDate");
    eNextRun = readOnlyEdit(this, "eNextRun");
    Label3 = namedLabel(this, "Label3", "Recent Run");
    eRecentRunDate = readOnlyEdit(this, "eRecentRunDate");
    eRecentRun = readOnlyEdit(this, "eRecentRun");
    lSchedule = namedLabel(this, "lSchedule", "Schedule");
    eSchedule = readOnlyEdit(this, "eSchedule");
    Label4 = namedLabel(this, "Label4", "Shared?");
    eShared = readOnlyEdit(this, "eShared");

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    bDelete = new QPushButton(QStringLiteral("Delete Schedule"), this);
    bDelete->setObjectName(QStringLiteral("bDelete"));
    bDelete->setAutoDefault(false);
    bEditTask = new QPushButton(QStringLiteral("Edit Schedule"), this);
    bEditTask->setObjectName(QStringLiteral("bEditTask"));
    bEditTask->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(eStatus, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(eNextRunDate, 1, 1);
    grid->addWidget(eNextRun, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(eRecentRunDate, 2, 1);
    grid->addWidget(eRecentRun, 2, 2);
    grid->addWidget(lSchedule, 3, 0);
    grid->addWidget(eSchedule, 3, 1, 1, 2);
    grid->addWidget(Label4, 4, 0);
    grid->addWidget(eShared, 4, 1);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(bDelete);
    buttons->addWidget(bEditTask);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bDelete, &QPushButton::clicked, this, &TfrmSchedule::bDeleteClick);
    connect(bEditTask, &QPushButton::clicked, this, &TfrmSchedule::bEditTaskClick);

    if (JustCreated) {
        if (NeedPassword)
            m_ui.messageBox(MessageKind::Warning, "Warning",
                            "Please click the \"Set password...\" button on the next screen to enter your "
                            "login password.\r\n\r\nIf you do not enter your password then the scheduled "
                            "task will fail to run!",
                            ButtonOk, ButtonOk);
        bEditTaskClick();
    }
    FormCreate();
    bOK->setFocus();
}

void TfrmSchedule::FormCreate() {
    FixedSizePlacement placement(*this, "frmSchedule");
    TSettings::LoadFormPlacement(SettingsRootKey, placement);
    const bool hasTask = m_session.task().has_value();
    bDelete->setEnabled(hasTask);
    bEditTask->setEnabled(hasTask);
    if (hasTask)
        ShowTaskInfo();
    else
        eStatus->setText(QStringLiteral("Not yet created"));
}

void TfrmSchedule::ShowTaskInfo() {
    if (!m_session.task())
        return;
    const ScheduleInfoTexts texts = scheduleInfoTexts(*m_session.task(), m_session.shared());
    eStatus->setText(qtText(texts.status));
    eNextRunDate->setText(qtText(texts.nextRunDate));
    eNextRun->setText(qtText(texts.nextRun));
    eRecentRunDate->setText(qtText(texts.recentRunDate));
    eRecentRun->setText(qtText(texts.recentRun));
    eSchedule->setText(qtText(texts.schedule));
    eShared->setText(qtText(texts.shared));
    for (QLineEdit* edit : {eStatus, eNextRunDate, eNextRun, eRecentRunDate, eRecentRun, eSchedule})
        edit->setCursorPosition(0);
}

void TfrmSchedule::bDeleteClick() {
    if (m_session.deleteSchedule(m_ui))
        done(QDialog::Accepted);
}

void TfrmSchedule::bEditTaskClick() {
    QWidget* parent = isVisible() ? this : nullptr;
    const bool refresh = m_session.editSchedule(
        m_ui, [parent](const std::string& taskName) { return EditTask(parent, taskName); });
    if (refresh)
        ShowTaskInfo();
}

void TfrmSchedule::reject() {
    bDeleteClick();
}

void TfrmSchedule::closeEvent(QCloseEvent* event) {
    event->accept();
    done(QDialog::Rejected);
}

void TfrmSchedule::done(int result) {
    FixedSizePlacement placement(*this, "frmSchedule");
    TSettings::SaveFormPlacement(SettingsRootKey, placement);
    QDialog::done(result);
}

} // namespace halcyra
