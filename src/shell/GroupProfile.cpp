#include "shell/GroupProfile.h"

#include "platform/HeadlessUiServices.h"
#include "platform/QtText.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/Settings.h"
#include "shell/GroupMembers.h"
#include "shell/ProfileCommandsGui.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace halcyra {

namespace {

constexpr int NameRole = Qt::UserRole;

std::string nameOf(const QListWidgetItem& item) {
    return item.data(NameRole).toByteArray().toStdString();
}

// Inserts `name` after every entry that does not sort after it, so the list stays in name order.
void insertSorted(QListWidget& list, const std::string& name) {
    int row = 0;
    while (row < list.count() && !profileNameLess(name, nameOf(*list.item(row))))
        ++row;
    auto* item = new QListWidgetItem(qtText(name));
    item->setData(NameRole, QByteArray(name.data(), static_cast<qsizetype>(name.size())));
    list.insertItem(row, item);
}

void fill(QListWidget& list, const std::vector<std::string>& sortedNames) {
    list.clear();
    for (const std::string& name : sortedNames)
        insertSorted(list, name);
}

// Adds the selected entries of `from`, top to bottom, to `to`, then removes them from `from`.
void moveSelected(QListWidget& from, QListWidget& to) {
    std::vector<int> rows;
    for (int row = 0; row < from.count(); ++row)
        if (from.item(row)->isSelected())
            rows.push_back(row);
    for (int row : rows)
        insertSorted(to, nameOf(*from.item(row)));
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        delete from.takeItem(*row);
}

QPushButton* moveButton(QWidget* parent, const char* name, const char* caption) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

bool TfrmGroupProfile::Execute(TSettings* RootSettings, TSettings* GroupSettings) {
    if (RootSettings == nullptr || GroupSettings == nullptr)
        return false;
    if (isHeadlessSession()) {
        reportSkippedWindow("group profile set-up", "the group was left as it is.");
        return false;
    }
    TfrmGroupProfile window(*RootSettings, *GroupSettings);
    return window.exec() == QDialog::Accepted;
}

TfrmGroupProfile::TfrmGroupProfile(TSettings& Root, TSettings& Group, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), RootSettings(Root),
      GroupSettings(Group) {
    setObjectName(QStringLiteral("frmGroupProfile"));
    setWindowTitle(QStringLiteral("Group Profile set-up"));
    setSizeGripEnabled(true);

    lProfiles = new QLabel(QStringLiteral("All available profiles"), this);
    lProfiles->setObjectName(QStringLiteral("lProfiles"));
    lbProfiles = new QListWidget(this);
    lbProfiles->setObjectName(QStringLiteral("lbProfiles"));
    lbProfiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lGroup = new QLabel(QStringLiteral("Profiles in this group"), this);
    lGroup->setObjectName(QStringLiteral("lGroup"));
    lbGroup = new QListWidget(this);
    lbGroup->setObjectName(QStringLiteral("lbGroup"));
    lbGroup->setSelectionMode(QAbstractItemView::ExtendedSelection);

    bFromGroup = moveButton(this, "bFromGroup", "<");
    bAllFromGroup = moveButton(this, "bAllFromGroup", "<<");
    bToGroup = moveButton(this, "bToGroup", ">");
    bAllToGroup = moveButton(this, "bAllToGroup", ">>");
    connect(bFromGroup, &QPushButton::clicked, this, &TfrmGroupProfile::bFromGroupClick);
    connect(bAllFromGroup, &QPushButton::clicked, this, &TfrmGroupProfile::bAllFromGroupClick);
    connect(bToGroup, &QPushButton::clicked, this, &TfrmGroupProfile::bToGroupClick);
    connect(bAllToGroup, &QPushButton::clicked, this, &TfrmGroupProfile::bAllToGroupClick);

    lSchedule = new QLabel(QStringLiteral("There is no schedule for this group profile"), this);
    lSchedule->setObjectName(QStringLiteral("lSchedule"));
    lSchedule->setStyleSheet(QStringLiteral("color: red"));
    bSchedule = moveButton(this, "bSchedule", "Schedule");
    bSchedule->setToolTip(QStringLiteral("Create, edit, or delete the schedule for this profile"));
    connect(bSchedule, &QPushButton::clicked, this, &TfrmGroupProfile::bScheduleClick);

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    bCancel = moveButton(this, "bCancel", "Cancel");
    connect(bOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* moves = new QVBoxLayout;
    moves->addStretch();
    for (QPushButton* button : {bToGroup, bAllToGroup, bFromGroup, bAllFromGroup})
        moves->addWidget(button);
    moves->addStretch();
    auto* lists = new QGridLayout;
    lists->addWidget(lProfiles, 0, 0);
    lists->addWidget(lGroup, 0, 2);
    lists->addWidget(lbProfiles, 1, 0);
    lists->addLayout(moves, 1, 1);
    lists->addWidget(lbGroup, 1, 2);
    lists->setColumnStretch(0, 1);
    lists->setColumnStretch(2, 1);
    lists->setRowStretch(1, 1);
    auto* scheduleRow = new QHBoxLayout;
    scheduleRow->addWidget(lSchedule, 1);
    scheduleRow->addWidget(bSchedule);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(scheduleRow);
    layout->addLayout(buttons);
    resize(520, 360);
}

std::vector<std::string> TfrmGroupProfile::names(const QListWidget& list) {
    std::vector<std::string> result;
    result.reserve(static_cast<std::size_t>(list.count()));
    for (int row = 0; row < list.count(); ++row)
        result.push_back(nameOf(*list.item(row)));
    return result;
}

std::string TfrmGroupProfile::groupName() const {
    return GroupSettings.KeyName();
}

void TfrmGroupProfile::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TfrmGroupProfile::FormShow() {
    setWindowTitle(QStringLiteral("Group Profile: ") + qtText(groupName()));
    const std::vector<std::string> members = loadGroupMembers(GroupSettings);
    fill(*lbGroup, members);
    fill(*lbProfiles, availableGroupMembers(RootSettings, members));
    UpdateScheduleLabel();
    bOK->setFocus();
}

void TfrmGroupProfile::bToGroupClick() {
    moveSelected(*lbProfiles, *lbGroup);
}

void TfrmGroupProfile::bFromGroupClick() {
    moveSelected(*lbGroup, *lbProfiles);
}

void TfrmGroupProfile::bAllToGroupClick() {
    lbProfiles->selectAll();
    bToGroupClick();
}

void TfrmGroupProfile::bAllFromGroupClick() {
    lbGroup->selectAll();
    bFromGroupClick();
}

void TfrmGroupProfile::UpdateScheduleLabel() {
    bool shared = false;
    std::string text;
    if (GetProfileScheduleText(groupName(), shared, text)) {
        lSchedule->setText(qtText(text));
        lSchedule->setStyleSheet(QStringLiteral("color: black"));
    } else {
        lSchedule->setText(QStringLiteral("There is no schedule for this group profile"));
        lSchedule->setStyleSheet(QStringLiteral("color: red"));
    }
}

void TfrmGroupProfile::bScheduleClick() {
    desktopScheduleEditor()(groupName(), {});
    UpdateScheduleLabel();
}

void TfrmGroupProfile::done(int result) {
    if (FormClose(result))
        QDialog::done(result);
}

bool TfrmGroupProfile::FormClose(int result) {
    if (result != QDialog::Accepted)
        return true;
    if (storeGroupMembers(activeUiServices(), RootSettings, GroupSettings, names(*lbGroup),
                          desktopScheduleEditor()))
        return true;
    UpdateScheduleLabel();
    return false;
}

} // namespace halcyra
