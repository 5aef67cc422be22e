#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace halcyra {

class TSettings;

// The editor of a group profile: the profiles that may join (ordinary ones not yet in the group) beside the
// group's members, buttons that move entries between the two lists, and the group's schedule. Both lists
// keep the profile list's name order. OK stores the members (a group left without members is deleted with
// its schedule, and the window stays open when that schedule cannot be removed); any other close writes
// nothing.
class TfrmGroupProfile : public QDialog {
    Q_OBJECT

public:
    // Edits the group whose key `GroupSettings` is bound to, a sub-key of `RootSettings`' key. True when
    // closed with OK (also when the group was deleted for having no members); false without a settings
    // object, in a session without a display, or when cancelled.
    static bool Execute(TSettings* RootSettings, TSettings* GroupSettings);

    TfrmGroupProfile(TSettings& RootSettings, TSettings& GroupSettings, QWidget* parent = nullptr);

    // Neither owned.
    TSettings& RootSettings;
    TSettings& GroupSettings;

    QLabel* lProfiles = nullptr;
    QListWidget* lbProfiles = nullptr;
    QLabel* lGroup = nullptr;
    QListWidget* lbGroup = nullptr;
    QPushButton* bFromGroup = nullptr;
    QPushButton* bAllFromGroup = nullptr;
    QPushButton* bToGroup = nullptr;
    QPushButton* bAllToGroup = nullptr;
    QLabel* lSchedule = nullptr;
    QPushButton* bSchedule = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

    // The names a list holds, top to bottom.
    static std::vector<std::string> names(const QListWidget& list);

public slots:
    void bFromGroupClick();
    void bAllFromGroupClick();
    void bToGroupClick();
    void bAllToGroupClick();
    void bScheduleClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void FormShow();
    // False when OK must leave the window open (the schedule of an emptied group could not be removed).
    bool FormClose(int result);
    void UpdateScheduleLabel();
    std::string groupName() const;
};

} // namespace halcyra
