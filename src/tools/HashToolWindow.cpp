#include "tools/HashToolWindow.h"

#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "platform/UiServices.h"
#include "settings/AuxProcs.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace halcyra {

namespace {

constexpr int ClientWidth = 634;
constexpr int ClientHeight = 453;
constexpr int MinimumWidth = 450;
constexpr int MinimumHeight = 171;
constexpr int LabelWidth = 209;
constexpr int StartDelayMs = 500;
// Per-file drawing and event serving happen at most this often; a stop request is seen within about
// twice this time, since the hash polls at least every ~50 ms of reading.
constexpr int RefreshMs = 30;

} // namespace

HashToolWindow::HashToolWindow(const HashToolKind& kind, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(kind.objectName);
    setWindowTitle(kind.caption);
    resize(ClientWidth, ClientHeight);
    setMinimumSize(MinimumWidth, MinimumHeight);

    m_model = new HashToolModel(kind.columns, kind.titles, kind.colouredGroups, this);
    ListView = new QTableView(this);
    ListView->setObjectName("ListView");
    ListView->setModel(m_model);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setShowGrid(false);
    ListView->setWordWrap(false);
    ListView->verticalHeader()->hide();
    ListView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ListView->verticalHeader()->setDefaultSectionSize(ListView->fontMetrics().height() + 4);
    ListView->horizontalHeader()->setHighlightSections(false);
    ListView->horizontalHeader()->setSectionsClickable(false);
    ListView->horizontalHeader()->setStretchLastSection(true);
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView->installEventFilter(this);
    connect(ListView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_busy)
            UpdateActions();
    });
    connect(ListView, &QAbstractItemView::doubleClicked, this, &HashToolWindow::ListViewDblClick);

    aFiles = makeAction("aFiles", "Files");
    aDirectory = makeAction("aDirectory", "Directory");
    aSelectAll = makeAction("aSelectAll", "Select all", QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(aFiles, &QAction::triggered, this, &HashToolWindow::aFilesExecute);
    connect(aDirectory, &QAction::triggered, this, &HashToolWindow::aDirectoryExecute);
    connect(aSelectAll, &QAction::triggered, this, &HashToolWindow::aSelectAllExecute);

    BitBtn2 = new QPushButton("Directory", this);
    BitBtn2->setObjectName("BitBtn2");
    BitBtn3 = new QPushButton("Files", this);
    BitBtn3->setObjectName("BitBtn3");
    for (auto [button, action] : {std::pair{BitBtn2, aDirectory}, std::pair{BitBtn3, aFiles}}) {
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, action, &QAction::trigger);
        connect(action, &QAction::changed, button,
                [button, action] { button->setEnabled(action->isEnabled()); });
    }

    lFilename = new QLabel(this);
    lFilename->setObjectName("lFilename");
    lFilename->setTextFormat(Qt::PlainText);
    lFilename->setFixedWidth(LabelWidth);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName("ProgressBar");
    ProgressBar->setTextVisible(false);
    ProgressBar->setFixedWidth(LabelWidth);
    ProgressBar->hide();

    bAbort = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Abort", this);
    bAbort->setObjectName("bAbort");
    bAbort->setToolTip("Abort the hashing");
    bAbort->setEnabled(false);
    bAbort->setAutoDefault(false);
    connect(bAbort, &QPushButton::clicked, this, &HashToolWindow::bAbortClick);
    bOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), "Close", this);
    bOK->setObjectName("bOK");
    bOK->setAutoDefault(false);
    connect(bOK, &QPushButton::clicked, this, &QWidget::close);

    Timer = new QTimer(this);
    Timer->setObjectName("Timer");
    Timer->setInterval(StartDelayMs);
    Timer->setSingleShot(true);
    connect(Timer, &QTimer::timeout, this, &HashToolWindow::TimerTimer);

    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName("MainMenu");
    m_firstMenu = MainMenu->addMenu(kind.firstMenu);
    m_firstMenu->addActions({aDirectory, aFiles});
    m_listMenu = MainMenu->addMenu("List");
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    connect(ListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(ListView->viewport()->mapToGlobal(at)); });

    auto* progress = new QVBoxLayout;
    progress->addWidget(lFilename);
    progress->addWidget(ProgressBar);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(BitBtn2);
    bottom->addWidget(BitBtn3);
    bottom->addStretch(1);
    bottom->addLayout(progress);
    bottom->addStretch(1);
    bottom->addWidget(bAbort);
    bottom->addWidget(bOK);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(MainMenu);
    layout->addWidget(ListView, 1);
    layout->addLayout(bottom);
}

HashToolWindow::~HashToolWindow() {
    if (m_cursorShown)
        QApplication::restoreOverrideCursor();
}

QAction* HashToolWindow::makeAction(const char* name, const char* caption, const QKeySequence& shortcut) {
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    addAction(action); // short cuts work wherever the focus is in the window
    m_allActions.push_back(action);
    return action;
}

void HashToolWindow::finishMenus(const QList<QAction*>& listActions, const QList<QAction*>& extra,
                                 const QList<QAction*>& selectionActions) {
    m_selectionActions = selectionActions;
    for (QMenu* menu : {m_listMenu, PopupMenu}) {
        menu->addAction(aSelectAll);
        menu->addActions(listActions);
        if (!extra.isEmpty()) {
            menu->addSeparator();
            menu->addActions(extra);
        }
    }
}

UiServices& HashToolWindow::ui() const {
    return activeUiServices();
}

FileDialogRequest HashToolWindow::openDialog() {
    FileDialogRequest request;
    request.title = "Calculate MD5 hash value";
    request.filter = "All files (*)";
    return request;
}

RowIndexes HashToolWindow::selectedRows() const {
    RowIndexes rows;
    for (const QModelIndex& index : ListView->selectionModel()->selectedRows())
        rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void HashToolWindow::selectRows(const RowIndexes& rows) {
    QItemSelection selection;
    const int last = m_model->columnCount() - 1;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t end = i + 1;
        while (end < rows.size() && rows[end] == rows[end - 1] + 1)
            ++end;
        selection.select(m_model->index(static_cast<int>(rows[i]), 0),
                         m_model->index(static_cast<int>(rows[end - 1]), last));
        i = end;
    }
    ListView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void HashToolWindow::UpdateActions() {
    const std::size_t selected =
        m_model->rowCount() > 0 ? ListView->selectionModel()->selectedRows().size() : 0;
    for (QAction* action : m_selectionActions)
        action->setEnabled(selected > 0);
    aSelectAll->setEnabled(m_model->rowCount() > 0 &&
                           selected < static_cast<std::size_t>(m_model->rowCount()));
}

void HashToolWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_timerStarted)
        return;
    m_timerStarted = true;
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    UpdateActions();
    Timer->start();
}

void HashToolWindow::TimerTimer() {
    Timer->stop();
    startAction();
}

void HashToolWindow::startAction() {
    aDirectory->trigger();
}

void HashToolWindow::aFilesExecute() {
    if (m_busy)
        return;
    const std::vector<std::string> chosen = ui().openFileNames(openDialog());
    if (chosen.empty() || !preparePass(nullptr))
        return;
    runPass(chosenFiles(chosen));
    closeIfRequested();
}

void HashToolWindow::aDirectoryExecute() {
    if (m_busy)
        return;
    std::string folder;
    if (!BrowseForFolder(ui(), "Select a directory", folder))
        return;
    if (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (!preparePass(&folder))
        return;
    // The listing runs busy, so that it can be stopped, but the rows stay until it has succeeded.
    BeginBusy(0, false);
    std::vector<PassFile> files;
    std::string errorText;
    if (!listFolderFiles(folder, files, errorText, *this)) {
        EndBusy(false);
        if (!errorText.empty())
            showError(ui(), errorText);
        closeIfRequested();
        return;
    }
    runPass(std::move(files));
    closeIfRequested();
}

void HashToolWindow::runPass(std::vector<PassFile> files) {
    BeginBusy(static_cast<int>(files.size()), true);
    hashFiles(
        files, *this, [this](PassFile& file, std::string hash) { work(file, std::move(hash)); },
        [this](const PassFile& file) { return skip(file); });
    EndBusy(true);
    afterPass();
}

void HashToolWindow::aSelectAllExecute() {
    if (m_busy)
        return;
    ListView->selectAll();
    UpdateActions();
}

void HashToolWindow::bAbortClick() {
    Aborted = true;
    bAbort->setEnabled(false);
}

void HashToolWindow::ListViewDblClick() {
    if (m_busy)
        return;
    const RowIndexes selected = selectedRows();
    if (selected.empty())
        return;
    const ToolRow& row = m_model->rows()[selected.front()];
    ui().inputText(row.Name(), "MD5", row.Hash);
}

void HashToolWindow::BeginBusy(int max, bool clear) {
    const bool nested = m_busy;
    if (!m_cursorShown) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorShown = true;
    }
    if (clear) {
        m_model->reset([max](ToolRows& rows) {
            rows.clear();
            rows.shrink_to_fit();
            rows.reserve(static_cast<std::size_t>(std::max(max, 0)));
        });
        UpdateActions();
    }
    m_busy = true;
    for (QAction* action : m_allActions)
        action->setEnabled(false);
    m_firstMenu->menuAction()->setEnabled(false);
    m_listMenu->menuAction()->setEnabled(false);
    BitBtn2->setEnabled(false);
    BitBtn3->setEnabled(false);
    bOK->setEnabled(false);
    ProgressBar->setRange(0, std::max(max, 1));
    ProgressBar->setValue(0);
    ProgressBar->show();
    lFilename->clear();
    m_position = 0;
    m_currentFile.clear();
    ListView->setUpdatesEnabled(false);
    m_sinceRefresh.invalidate();
    if (nested)
        return; // a pass that follows its folder listing keeps a stop asked for meanwhile
    Aborted = false;
    bAbort->setEnabled(true);
}

void HashToolWindow::EndBusy(bool rowsChanged) {
    m_model->publish();
    if (m_cursorShown) {
        QApplication::restoreOverrideCursor();
        m_cursorShown = false;
    }
    ProgressBar->hide();
    lFilename->clear();
    const bool aborted = Aborted;
    if (aborted)
        showInformation(ui(), "Aborted!");
    if (rowsChanged)
        finishRows(aborted);
    for (QAction* action : m_allActions)
        action->setEnabled(true);
    m_firstMenu->menuAction()->setEnabled(true);
    m_listMenu->menuAction()->setEnabled(true);
    BitBtn2->setEnabled(true);
    BitBtn3->setEnabled(true);
    bOK->setEnabled(true);
    Aborted = false;
    bAbort->setEnabled(false);
    m_busy = false;
    ListView->setUpdatesEnabled(true);
    if (rowsChanged)
        ListView->resizeColumnToContents(0);
    UpdateActions();
}

void HashToolWindow::refresh(bool force) {
    if (!force && m_sinceRefresh.isValid() && m_sinceRefresh.elapsed() < RefreshMs)
        return;
    if (!m_currentFile.empty()) {
        const QString text = qtText(m_currentFile);
        lFilename->setText(lFilename->fontMetrics().elidedText(text, Qt::ElideMiddle, lFilename->width()));
    }
    ProgressBar->setValue(std::min(m_position, ProgressBar->maximum()));
    m_model->publish();
    QCoreApplication::processEvents();
    m_sinceRefresh.start();
}

bool HashToolWindow::fileDone(std::string_view path) {
    ++m_position;
    if (!path.empty())
        m_currentFile.assign(path);
    refresh(false);
    return Aborted;
}

bool HashToolWindow::stopRequested() {
    refresh(false);
    return Aborted;
}

bool HashToolWindow::eventFilter(QObject* watched, QEvent* event) {
    // The view's own select-all, copy and delete keys never act: the window's actions own them.
    if (watched == ListView && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::SelectAll) || key->matches(QKeySequence::Copy) ||
            key->matches(QKeySequence::Delete) || key->key() == Qt::Key_Delete)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void HashToolWindow::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        event->ignore();
        m_closeWhenIdle = true;
        bAbortClick();
        return;
    }
    Timer->stop();
    QDialog::closeEvent(event);
}

void HashToolWindow::reject() {
    if (m_busy) {
        m_closeWhenIdle = true;
        bAbortClick();
        return;
    }
    Timer->stop();
    QDialog::reject();
}

void HashToolWindow::removeSelectedRows() {
    if (m_busy)
        return;
    std::vector<bool> remove(m_model->rows().size(), false);
    for (std::size_t index : selectedRows())
        remove[index] = true;
    m_model->reset([&remove](ToolRows& rows) { removeRows(rows, remove); });
    UpdateActions();
}

void HashToolWindow::closeIfRequested() {
    if (!m_closeWhenIdle)
        return;
    m_closeWhenIdle = false;
    done(QDialog::Rejected);
}

} // namespace halcyra
