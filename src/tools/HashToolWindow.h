#pragma once

#include "tools/HashToolModel.h"
#include "tools/ToolPass.h"

#include <QDialog>
#include <QElapsedTimer>

#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;

namespace halcyra {

class UiServices;
struct FileDialogRequest;

// What sets one member of the hash tool family apart in its frame.
struct HashToolKind {
    const char* objectName;
    const char* caption;
    const char* firstMenu;
    std::vector<HashToolModel::Column> columns;
    std::vector<QString> titles;
    bool colouredGroups = false;
};

// The frame shared by the hash tool windows: the list, the Directory and Files passes, the busy state,
// the start timer, Select all and the hash box. A member adds its row work and its own actions. While
// busy (a pass, a recalculation) every action but Abort is disabled and the view's own short cuts do
// nothing; closing the window then asks the work to stop and the window closes when it has ended.
class HashToolWindow : public QDialog, protected PassProgress {
    Q_OBJECT

public:
    ~HashToolWindow() override;

    bool busy() const { return m_busy; }
    const HashToolModel& model() const { return *m_model; }
    // Selected rows in list order.
    RowIndexes selectedRows() const;

    QTableView* ListView = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QLabel* lFilename = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* bAbort = nullptr;
    QPushButton* bOK = nullptr;
    QTimer* Timer = nullptr;
    QMenuBar* MainMenu = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* aFiles = nullptr;
    QAction* aDirectory = nullptr;
    QAction* aSelectAll = nullptr;
    // Set by Abort (or closing while busy), polled after each file and while a file is hashed.
    bool Aborted = false;

public slots:
    void TimerTimer();
    void aFilesExecute();
    void aDirectoryExecute();
    void aSelectAllExecute();
    void bAbortClick();
    void ListViewDblClick();

protected:
    explicit HashToolWindow(const HashToolKind& kind, QWidget* parent = nullptr);

    // Builds the menus once the member has made its actions: the first menu holds Directory and Files;
    // "List" and the pop-up menu hold Select all, then `listActions`, then (after a separator) `extra`.
    // `selectionActions` are enabled exactly when a row is selected.
    void finishMenus(const QList<QAction*>& listActions, const QList<QAction*>& extra,
                     const QList<QAction*>& selectionActions);
    QAction* makeAction(const char* name, const char* caption, const QKeySequence& shortcut = {});

    // The member's part of a pass. `prepare` runs once the files or the folder are chosen and may end the
    // action (false); `work` makes the rows; `finishRows` orders them at the end of the pass; `afterPass`
    // runs once the window is idle again.
    virtual bool preparePass(const std::string* folder) = 0;
    virtual void work(PassFile& file, std::string hash) = 0;
    virtual bool skip(const PassFile&) { return false; }
    virtual void finishRows(bool aborted) = 0;
    virtual void afterPass() {}
    virtual void startAction();

    // Busy state: BeginBusy may be called again inside a busy piece of work (the folder listing comes
    // first, then the pass).
    void BeginBusy(int max, bool clear);
    // Ends the busy state; `rowsChanged`: the member's finishRows runs (a pass, not a recalculation).
    void EndBusy(bool rowsChanged);
    void UpdateActions();
    // Selects exactly `rows` (in list order).
    void selectRows(const RowIndexes& rows);
    // Closes the window if it was asked to close while busy.
    void closeIfRequested();
    // Removes the selected rows from the list (no file is touched).
    void removeSelectedRows();

    UiServices& ui() const;
    // The window's open dialog: several existing files, every name shown.
    static FileDialogRequest openDialog();
    HashToolModel& rows() { return *m_model; }

    // PassProgress
    bool fileDone(std::string_view path) override;
    bool stopRequested() override;

    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void runPass(std::vector<PassFile> files);
    // Draws the per-file work and serves pending events, at most every few tens of milliseconds.
    void refresh(bool force);

    HashToolModel* m_model = nullptr;
    QList<QAction*> m_selectionActions;
    QList<QAction*> m_allActions;
    QMenu* m_firstMenu = nullptr;
    QMenu* m_listMenu = nullptr;
    bool m_busy = false;
    bool m_closeWhenIdle = false;
    bool m_cursorShown = false;
    bool m_timerStarted = false;
    QElapsedTimer m_sinceRefresh;
    int m_position = 0;
    std::string m_currentFile;
};

} // namespace halcyra
