#pragma once

#include "shell/ProfileCommands.h"
#include "shell/ProfileList.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;

namespace halcyra {

class ProfileListModel;
class TSettings;
class TSysTrayIcon;

// The desktop program's main window: the profile list with its sort, the menus, buttons and pop-up menu that
// start every profile action, the enabling of those actions by the selection, the double-click action, and
// the command line, which runs the named profiles one after the other and then closes the window.
//
// The window is created once at start and lives until the program ends; closing it ends the program
// (closed() is emitted). Actions whose work lies elsewhere are here with their captions; their owners
// connect to their triggered() signals.
class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    // `parameters` are the command-line words after the program's name, exactly as given. With at least one
    // the window runs them 500 ms after it was created and never loads the profile list.
    explicit TfrmMain(std::vector<std::string> parameters = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Runs the profile whose key the settings are bound to (unattended or not): the run window's entry.
    std::function<void(TSettings& settings, bool unattended)> RunProfileEntry;
    // The double-click choice: the choice dialog's entry.
    std::function<bool(std::uint8_t& action)> DblClickEntry;
    // The windows behind the profile commands (type choice, set-up and group dialogs, schedule window); the
    // run always goes through RunProfileEntry.
    std::function<ProfileEntries()> ProfileEntriesEntry;
    // Converts the older single-configuration settings held in the root key; nothing when empty.
    std::function<void(TSettings& root)> ConvertOldSettingsEntry;
    // Asks whether a newer version exists: true when one does (its number in NewVersion); ErrorText says why
    // the check failed.
    std::function<bool(std::string& NewVersion, std::string& ErrorText)> UpdateCheckEntry;

    // The program's root key, open as long as the window lives.
    TSettings& Settings() { return *FSettings; }
    std::uint8_t AutoMode() const { return FAutoMode; }
    ProfileSort Sort() const { return {FSortColumn, FSortAscending}; }
    const ProfileListModel& Profiles() const { return *m_model; }
    // The tray icon's hint: the title, or the title and what is selected.
    const QString& TrayHint() const { return m_trayHint; }
    // Whether profiles are being run from this window or its command line.
    bool Busy() const { return m_busy; }
    // The program's exit status after its command line: 1 when a named profile was unknown, could not be
    // run or did not run to its end, else 0.
    int ExitStatus() const { return m_runFailed ? 1 : 0; }

    // The selected profiles, from the top of the list down.
    std::vector<std::string> SelectedProfiles() const;
    // Selects exactly the rows of the profiles named (letter case ignored); names not listed are passed over.
    // The list gets the input focus when a row is selected.
    void SelectProfiles(const std::vector<std::string>& names);

    // Stops AutoTimer, stores the mode and starts the timer again when the mode is not 0.
    void SetAutoMode(std::uint8_t Mode);
    // Reloads the profile list from the store; the profiles selected before stay selected.
    void RefreshProfiles();

    // Event handlers, public so that the window can be driven without a pointer device.
    void FormShow();
    void AutoTimerTimer();
    void lvProfilesChange();
    void lvProfilesColumnClick(int column);
    void lvProfilesDblClick();
    void lvProfilesKeyUp(int key);
    void aRunProfileExecute();
    void aConfigDblClickExecute();
    // Brings the window back from the notification area (nothing while it is visible).
    void aShowExecute();
    // Before the pop-up menu opens: Show is enabled exactly while the window is hidden.
    void PopupMenuPopup();
    void TrayIconDblClick();
    // Checks for a newer version and tells the outcome; opens the download page when there is one.
    void aUpdateCheckExecute();
    // Stores the sort order; false (the window stays open until they end) while profiles are running.
    bool FormCloseQuery();

    QTableView* lvProfiles = nullptr;
    QPushButton* BitBtn1 = nullptr; // New
    QPushButton* BitBtn2 = nullptr; // Modify; Enter presses it
    QPushButton* BitBtn3 = nullptr; // Delete
    QPushButton* BitBtn4 = nullptr; // Run
    QPushButton* BitBtn8 = nullptr; // Schedule
    QPushButton* BitBtn7 = nullptr; // Close
    QTimer* AutoTimer = nullptr;
    QMenu* PopupMenu = nullptr;
    TSysTrayIcon* TrayIcon = nullptr;

    QAction* aNewProfile = nullptr;
    QAction* aModifyProfile = nullptr;
    QAction* aDeleteProfile = nullptr;
    QAction* aRename = nullptr;
    QAction* aCopy = nullptr;
    QAction* aExportProfile = nullptr;
    QAction* aImportProfile = nullptr;
    QAction* aRunProfile = nullptr;
    QAction* aViewLog = nullptr;
    QAction* aMD5File = nullptr;
    QAction* aMD5Directory = nullptr;
    QAction* aDuplicates = nullptr;
    QAction* aSearch = nullptr;
    QAction* aSchedule = nullptr;
    QAction* aConfigDblClick = nullptr;
    QAction* aHelp = nullptr;
    QAction* aDonate = nullptr;
    QAction* aForums = nullptr;
    QAction* aUpdateCheck = nullptr;
    QAction* aAbout = nullptr;
    QAction* aShow = nullptr;
    QAction* mExit = nullptr;

signals:
    // The window was closed: the program ends.
    void closed();
    void trayHintChanged(const QString& hint);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* makeAction(const char* name, const char* caption);
    void bindButton(QPushButton* button, QAction* action);
    void buildMenus();
    // Connects the everyday profile commands (new, modify, delete, view log, schedule, help pages, about).
    void connectProfileCommands();
    void buildWindow();
    void buildTray();
    void setTrayHint(const QString& hint);
    void showSortIndicator();
    // Sorts the rows in the model by the current order, keeping the selection.
    void resortRows();
    // Runs one named profile; an error it raises is shown, never passed to the event loop.
    void runNamedProfile(const std::string& name, bool unattended);
    // Runs `handler`; an error it raises is shown, never passed to the event loop.
    template <class Handler> void guarded(Handler handler);

    std::vector<std::string> m_parameters;
    std::unique_ptr<TSettings> FSettings;
    std::uint8_t FAutoMode = 0;
    std::int32_t FSortColumn = 0;
    bool FSortAscending = true;

    ProfileListModel* m_model = nullptr;
    QString m_trayHint;
    bool m_shown = false;          // FormShow has been queued (first showing only)
    bool m_busy = false;           // profiles are running
    bool m_closeRequested = false; // a close came while busy
    bool m_loadFailed = false;     // the last load could not read the store
    bool m_runFailed = false;      // a profile run from here did not run to its end
};

} // namespace halcyra
