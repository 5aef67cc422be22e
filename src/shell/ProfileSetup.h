#pragma once

#include "shell/ProfileValues.h"
#include "shell/SubFolderTree.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

class QAction;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QMenu;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace halcyra {

class FileSystem;
class SubFolderModel;
class TSettings;
class UiServices;

// What the set-up dialog works with; empty members mean the program's own.
struct ProfileSetupServices {
    // Prompts; null: the installed UI services.
    UiServices* ui = nullptr;
    // Where sub-folders are listed; null: the real file system.
    FileSystem* fileSystem = nullptr;
    // The Test Eject button; empty: EjectMedia.
    std::function<bool(const std::string& path)> ejectMedia;
    // The Schedule button; empty: the schedule window.
    std::function<void(std::string_view profile, std::string_view extra)> editSchedule;
    // The schedule label's look-up; empty: GetProfileScheduleText.
    std::function<bool(std::string_view profile, bool& shared, std::string& text)> scheduleText;
};

// The set-up dialog of one ordinary profile: the folder to watch, how deep to go, the names to scan and not
// to scan, the sub-folders to leave out, hashing, the log, ejecting the medium and the schedule. OK checks
// the folder and writes every value (and the folder exclusion list, when the sub-folder tree was shown);
// Cancel writes nothing.
class TfrmProfileSetup : public QDialog {
    Q_OBJECT

public:
    // Edits the profile on `Settings`' key in a modal window; true when confirmed with OK. Nothing is shown
    // (false) when `ProfileType` is not 1, `Settings` is null, or the session has no display.
    static bool Execute(bool IsNew, std::uint8_t ProfileType, TSettings* Settings);

    TfrmProfileSetup(bool IsNew, std::uint8_t ProfileType, TSettings& Settings,
                     ProfileSetupServices services = {}, QWidget* parent = nullptr);
    ~TfrmProfileSetup() override;

    // The sub-folder selection (tree rows and exclusion list) behind the Sub-directories tab.
    const SubFolderSelection& subFolders() const { return m_subFolders; }
    // Whether the sub-folder tree is being filled.
    bool busy() const { return m_busy; }

    QLineEdit* eDirectory = nullptr;
    QToolButton* bSource = nullptr;
    QCheckBox* cbRecursive = nullptr;
    QTabWidget* PageControl = nullptr;
    QWidget* tsScan = nullptr;
    QWidget* tsOptions = nullptr;
    QWidget* tsSubDir = nullptr;
    QCheckBox* cbNoHash = nullptr;
    QListWidget* lbAddList = nullptr;
    QListWidget* lbNotList = nullptr;
    QPushButton* bAddAdd = nullptr;
    QPushButton* bRemoveAdd = nullptr;
    QPushButton* bAddNot = nullptr;
    QPushButton* bRemoveNot = nullptr;
    QCheckBox* cbDisplayLog = nullptr;
    QCheckBox* cbDisplayLogChanges = nullptr;
    QCheckBox* cbEject = nullptr;
    QPushButton* bEjectSource = nullptr;
    QLabel* lSchedule = nullptr;
    QPushButton* bSchedule = nullptr;
    QLabel* lSubDirStatus = nullptr;
    QListView* ListView = nullptr;
    QFrame* pPleaseWait = nullptr;
    QLabel* lFilename = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* mRefresh = nullptr;
    QAction* mCheckAll = nullptr;
    QAction* mCheckSelected = nullptr;
    QAction* mUncheckAll = nullptr;
    QAction* mUncheckSelected = nullptr;
    QPushButton* bOK = nullptr;
    QPushButton* bCancel = nullptr;

public slots:
    void bSourceClick();
    void bAddAddClick();
    void bAddNotClick();
    void bRemoveAddClick();
    void bRemoveNotClick();
    void bScheduleClick();
    void cbDisplayLogClick();
    void bEjectSourceClick();
    void mRefreshClick();
    void mCheckAllClick();
    void mCheckSelectedClick();
    void mUncheckAllClick();
    void mUncheckSelectedClick();
    void cbRecursiveClick();
    void eDirectoryExit();
    void tsSubDirShow();
    void ListViewDblClick();

    // OK: validates and saves; the window stays open when the folder is not usable. Both wait while the
    // sub-folder tree is being filled.
    void accept() override;
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    bool FormClose();
    void UpdateScheduleLabel();
    void UpdateLogOptions();
    void RefreshSubDirs();
    void fillTree(const std::string& folder);
    void setBusy(bool busy);
    void addMaskTo(std::vector<std::string>& masks, QListWidget* list);
    void removeSelectedFrom(std::vector<std::string>& masks, QListWidget* list);
    void showMasks(const std::vector<std::string>& masks, QListWidget* list);
    std::vector<std::size_t> selectedRows() const;
    void treeChanged();
    // ListViewMouseDown: a press on a row's state picture toggles the row.
    bool ListViewMouseDown(const QPoint& position);
    std::string editText() const;

    TSettings& m_settings;
    std::uint8_t m_profileType;
    bool m_isNew;
    ProfileSetupServices m_services;
    UiServices& m_ui;
    std::string m_profileName;
    ProfileValues m_values; // mask lists as shown
    SubFolderSelection m_subFolders;
    SubFolderModel* m_model = nullptr;
    bool m_busy = false;
    bool m_refreshPending = false;
};

} // namespace halcyra
