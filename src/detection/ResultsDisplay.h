#pragma once

#include "detection/DifferencesModel.h"
#include "detection/FileKey.h"
#include "detection/TreeScan.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabBar;
class QTableView;
class QToolButton;

namespace halcyra {

// The rows of the shown page of a DifferencesModel, for a table view. Texts are shown as plain text.
class DifferencesTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DifferencesTableModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // The model whose rows are shown (not owned; null shows nothing).
    void setSource(const DifferencesModel* source);
    // Tells the views that the source's rows were replaced.
    void reload();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    const DifferencesModel* m_source = nullptr;
};

// An up-down control bound to a line edit: its arrows step the position within its range and write it
// into the edit. Range and position are 32-bit.
class PageUpDown : public QWidget {
    Q_OBJECT
public:
    PageUpDown(QLineEdit* buddy, QWidget* parent);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int position() const { return m_position; }
    void setRange(int minimum, int maximum);
    // Sets the position (clamped to the range) without touching the edit.
    void setPosition(int position);
    // One step up or down; the edit receives the new position.
    void step(int delta);

private:
    QLineEdit* m_buddy;
    QToolButton* m_up;
    QToolButton* m_down;
    int m_minimum = 1;
    int m_maximum = 1;
    int m_position = 1;
};

// The modal review of an interactive run's differences: lists the changed files page by page under three
// tabs and three filters, sorts a page, shows one file's details, moves files onto and off the file
// exclusion list, and ends with "&Save" (accept the new state) or "Cancel".
class TfrmDifferences : public QDialog {
    Q_OBJECT
public:
    // Shows the review of `compareList` (only the entries' Excluded marks change) with `exclusionList`
    // (edited in place); both stay the caller's. `exclusionsChanged` tells whether the exclusion list was
    // edited. True when the user saved.
    static bool ShowDifferences(CompareList& compareList, KeySet& exclusionList, bool& exclusionsChanged);

    explicit TfrmDifferences(QWidget* parent = nullptr);
    ~TfrmDifferences() override;

    // Binds the lists (not owned; either may be null) before the window is shown.
    void setLists(CompareList* compareList, KeySet* exclusionList);
    bool ExclusionsChanged() const { return m_model->exclusionsChanged(); }
    const DifferencesModel& model() const { return *m_model; }

    // Event handlers, public so that the window can be driven without a pointer device.
    void FormShow();
    void TabControlChange();
    void ePageChange();
    void lbDiffColumnClick(int column);
    void lbDiffDblClick();
    void pMenuPopup();
    void mExcludeClick();
    void mIncludeClick();
    void mSelectAllClick();
    void mNotInSourceClick();
    void mNotInDestClick();
    void mChangedClick();

    // Selected rows of the shown page, in row order.
    std::vector<int> selectedRows() const;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Cancel and the close box ask before closing.
    void reject() override;

private:
    enum class Refresh { None, Fill, Rebuild };

    void BuildPages();
    void FillPage();
    void UpdateFilterLabel();
    // Rebuilds and/or refills; a request made while a fill runs is carried out after it, never inside it.
    void refresh(Refresh what);
    void fitColumns();
    void filterChanged();
    // Runs a handler; an error it raises is shown, never passed to the event loop.
    template <class Handler> void guarded(Handler handler);

    std::unique_ptr<DifferencesModel> m_model;
    DifferencesTableModel* m_tableModel;
    bool m_filling = false;
    Refresh m_pending = Refresh::None;
    bool m_shown = false;

    QTabBar* TabControl;
    QTableView* lbDiff;
    QLabel* lCurPage;
    QLineEdit* ePage;
    PageUpDown* UpDown;
    QLabel* lPages;
    QLabel* lFilter;
    QPushButton* bSave;
    QPushButton* bCancel;
    QMenu* pMenu;
    QAction* mExclude;
    QAction* mInclude;
    QAction* mSelectAll;
    QAction* mNotInSource;
    QAction* mNotInDest;
    QAction* mChanged;
};

// Makes the differences dialog the run engine's review entry. In a headless session the entry shows
// nothing, says so on standard error and answers as a cancelled review.
void installDifferencesDialog();

} // namespace halcyra
