#include "detection/ResultsDisplay.h"

#include "detection/DifferencesReview.h"
#include "platform/BusyCursor.h"
#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "platform/QtUiServices.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace halcyra {

namespace {

constexpr int kClientWidth = 784;
constexpr int kClientHeight = 346;
constexpr int kColumnPadding = 20;

const char* const kCancelQuestion =
    "If you do not save the results then the next scan will again indicate that these files have been "
    "changed. Are you sure you want to cancel without saving the scan results?";

UiServices& uiServices() {
    if (UiServices* installed = currentUiServices())
        return *installed;
    static QtUiServices fallback;
    return fallback;
}

QLabel* plainLabel(const char* objectName, const QString& caption, QWidget* parent) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(objectName));
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

// ---- DifferencesTableModel ----

void DifferencesTableModel::setSource(const DifferencesModel* source) {
    beginResetModel();
    m_source = source;
    endResetModel();
}

void DifferencesTableModel::reload() {
    beginResetModel();
    endResetModel();
}

int DifferencesTableModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() || m_source == nullptr)
        return 0;
    return static_cast<int>(m_source->rows().size());
}

int DifferencesTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : DifferenceColumnCount;
}

QVariant DifferencesTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || m_source == nullptr || !index.isValid() || index.row() >= rowCount() ||
        index.column() >= DifferenceColumnCount)
        return {};
    return qtText(m_source->rows()[static_cast<std::size_t>(index.row())]
                      .texts[static_cast<std::size_t>(index.column())]);
}

QVariant DifferencesTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= DifferenceColumnCount)
        return {};
    return QString::fromLatin1(kDifferenceColumns[static_cast<std::size_t>(section)].caption);
}

// ---- PageUpDown ----

PageUpDown::PageUpDown(QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), m_buddy(buddy), m_up(new QToolButton(this)), m_down(new QToolButton(this)) {
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFixedSize(16, 11);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_up);
    layout->addWidget(m_down);
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void PageUpDown::setRange(int minimum, int maximum) {
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    setPosition(m_position);
}

void PageUpDown::setPosition(int position) {
    m_position = std::clamp(position, m_minimum, m_maximum);
}

void PageUpDown::step(int delta) {
    const long long target = static_cast<long long>(m_position) + delta;
    if (!isEnabled() || target < m_minimum || target > m_maximum)
        return;
    m_position = static_cast<int>(target);
    if (m_buddy != nullptr)
        m_buddy->setText(QString::number(m_position));
}

// ---- TfrmDifferences ----

TfrmDifferences::TfrmDifferences(QWidget* parent)
    : QDialog(parent), m_model(std::make_unique<DifferencesModel>(nullptr, nullptr)),
      m_tableModel(new DifferencesTableModel(this)) {
    setObjectName(QStringLiteral("frmDifferences"));
    setWindowTitle(QStringLiteral("Differences"));
    setMinimumSize(544, 128);
    resize(kClientWidth, kClientHeight);

    TabControl = new QTabBar(this);
    TabControl->setObjectName(QStringLiteral("TabControl"));
    TabControl->setFocusPolicy(Qt::NoFocus);
    TabControl->setExpanding(false);
    TabControl->addTab(QStringLiteral("Modified"));
    TabControl->addTab(QStringLiteral("Modified (inc. excluded)"));
    TabControl->addTab(QStringLiteral("Modified (only excluded)"));

    lbDiff = new QTableView(this);
    lbDiff->setObjectName(QStringLiteral("lbDiff"));
    lbDiff->setModel(m_tableModel);
    lbDiff->setShowGrid(true);
    lbDiff->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lbDiff->setSelectionBehavior(QAbstractItemView::SelectRows);
    lbDiff->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lbDiff->setFocusPolicy(Qt::ClickFocus);
    lbDiff->setWordWrap(false);
    lbDiff->setTextElideMode(Qt::ElideRight);
    lbDiff->verticalHeader()->hide();
    lbDiff->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lbDiff->verticalHeader()->setDefaultSectionSize(lbDiff->fontMetrics().height() + 4);
    lbDiff->horizontalHeader()->setSectionsClickable(true);
    lbDiff->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    lbDiff->horizontalHeader()->setHighlightSections(false);
    lbDiff->setContextMenuPolicy(Qt::CustomContextMenu);

    lCurPage = plainLabel("lCurPage", QStringLiteral("Page"), this);
    ePage = new QLineEdit(QStringLiteral("1"), this);
    ePage->setObjectName(QStringLiteral("ePage"));
    ePage->setFixedWidth(ePage->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")) + 8);
    UpDown = new PageUpDown(ePage, this);
    UpDown->setObjectName(QStringLiteral("UpDown"));
    lPages = plainLabel("lPages", QStringLiteral("9999 pages"), this);
    lFilter = plainLabel("lFilter", QStringLiteral("No items are being filtered."), this);
    bSave = new QPushButton(QStringLiteral("&Save"), this);
    bSave->setObjectName(QStringLiteral("bSave"));
    bSave->setToolTip(QStringLiteral("Save the changes"));
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setToolTip(QStringLiteral("Do not save the changes"));

    pMenu = new QMenu(this);
    pMenu->setObjectName(QStringLiteral("pMenu"));
    const auto addItem = [this](const char* name, const char* caption, const QKeySequence& shortcut) {
        QAction* action = pMenu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QLatin1String(name));
        if (!shortcut.isEmpty()) {
            action->setShortcut(shortcut);
            // Active in the open menu only; the window's own short cuts below update the enabling first.
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        return action;
    };
    mExclude =
        addItem("mExclude", "Exclude file from future comparisons", QKeySequence(Qt::CTRL | Qt::Key_E));
    mInclude = addItem("mInclude", "Include file in future comparisons", QKeySequence(Qt::CTRL | Qt::Key_I));
    mSelectAll = addItem("mSelectAll", "Select all", QKeySequence(Qt::CTRL | Qt::Key_A));
    pMenu->addSeparator();
    mNotInSource = addItem("mNotInSource", "Show new files", QKeySequence());
    mNotInDest = addItem("mNotInDest", "Show deleted files", QKeySequence());
    mChanged = addItem("mChanged", "Show changed files", QKeySequence());
    mExclude->setEnabled(false);
    mInclude->setEnabled(false);
    for (QAction* filter : {mNotInSource, mNotInDest, mChanged}) {
        filter->setCheckable(true);
        filter->setChecked(true);
    }

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lCurPage);
    bottom->addWidget(ePage);
    bottom->addWidget(UpDown);
    bottom->addWidget(lPages);
    bottom->addSpacing(16);
    bottom->addWidget(lFilter, 1);
    bottom->addWidget(bSave);
    bottom->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabControl);
    layout->addWidget(lbDiff, 1);
    layout->addLayout(bottom);

    connect(TabControl, &QTabBar::currentChanged, this, [this] { guarded([this] { TabControlChange(); }); });
    connect(ePage, &QLineEdit::textChanged, this, [this] { guarded([this] { ePageChange(); }); });
    connect(lbDiff->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([this, column] { lbDiffColumnClick(column); }); });
    connect(lbDiff, &QTableView::doubleClicked, this, [this] { guarded([this] { lbDiffDblClick(); }); });
    connect(lbDiff, &QTableView::customContextMenuRequested, this, [this](const QPoint& where) {
        guarded([this] { pMenuPopup(); });
        pMenu->exec(lbDiff->viewport()->mapToGlobal(where));
    });
    connect(mExclude, &QAction::triggered, this, [this] { guarded([this] { mExcludeClick(); }); });
    connect(mInclude, &QAction::triggered, this, [this] { guarded([this] { mIncludeClick(); }); });
    connect(mSelectAll, &QAction::triggered, this, [this] { guarded([this] { mSelectAllClick(); }); });
    connect(mNotInSource, &QAction::triggered, this, [this] { guarded([this] { mNotInSourceClick(); }); });
    connect(mNotInDest, &QAction::triggered, this, [this] { guarded([this] { mNotInDestClick(); }); });
    connect(mChanged, &QAction::triggered, this, [this] { guarded([this] { mChangedClick(); }); });
    for (QAction* action : {mExclude, mInclude, mSelectAll}) {
        auto* shortcut = new QShortcut(action->shortcut(), this);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            guarded([this] { pMenuPopup(); });
            if (action->isEnabled())
                action->trigger();
        });
    }
    connect(bSave, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &TfrmDifferences::reject);
}

TfrmDifferences::~TfrmDifferences() {
    // The view must not ask the model for rows while the model goes.
    m_tableModel->setSource(nullptr);
}

bool TfrmDifferences::ShowDifferences(CompareList& compareList, KeySet& exclusionList,
                                      bool& exclusionsChanged) {
    TfrmDifferences form(nullptr);
    form.setLists(&compareList, &exclusionList);
    const bool saved = form.exec() == QDialog::Accepted;
    exclusionsChanged = form.ExclusionsChanged();
    return saved;
}

void TfrmDifferences::setLists(CompareList* compareList, KeySet* exclusionList) {
    m_tableModel->setSource(nullptr);
    m_model = std::make_unique<DifferencesModel>(compareList, exclusionList);
    m_tableModel->setSource(m_model.get());
}

template <class Handler> void TfrmDifferences::guarded(Handler handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        showError(uiServices(), error.what());
    } catch (...) {
        showError(uiServices(), "Unexpected error");
    }
}

void TfrmDifferences::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_shown)
        return;
    m_shown = true;
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        const int frame = frameGeometry().width() - width();
        setGeometry(area.x() + frame / 2, area.y() + std::max(0, (area.height() - height()) / 2),
                    area.width() - frame, height());
    }
    guarded([this] { FormShow(); });
    bSave->setFocus();
}

void TfrmDifferences::FormShow() {
    {
        const QSignalBlocker blocker(TabControl);
        TabControl->setCurrentIndex(DifferencesModel::TabModified);
    }
    TabControlChange();
    m_model->resetSort();
    if (m_model->hasCompareList() && m_model->rows().empty()) {
        {
            const QSignalBlocker blocker(TabControl);
            TabControl->setCurrentIndex(DifferencesModel::TabModifiedIncExcluded);
        }
        TabControlChange();
    }
}

void TfrmDifferences::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmDifferences::reject() {
    if (askYesNo(uiServices(), kCancelQuestion))
        QDialog::reject();
}

void TfrmDifferences::BuildPages() {
    m_model->buildPages();
    UpDown->setEnabled(true);
    ePage->setEnabled(true);
    UpDown->setRange(1, m_model->pageCount());
    lPages->setText(qtText(m_model->pagesLabel()));
    UpDown->setPosition(1);
    const QSignalBlocker blocker(ePage);
    ePage->setText(QStringLiteral("1"));
}

void TfrmDifferences::FillPage() {
    m_model->clearRows();
    m_tableModel->reload();
    if (!m_model->hasCompareList() || m_model->pageCount() == 0)
        return;
    lbDiff->viewport()->update();
    // Paints the emptied list; input waits, so nothing can ask for another fill meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_model->fillPage(UpDown->position());
    m_tableModel->reload();
    fitColumns();
}

void TfrmDifferences::fitColumns() {
    const QFontMetrics metrics = lbDiff->fontMetrics();
    QHeaderView* header = lbDiff->horizontalHeader();
    for (int column = 0; column < DifferenceColumnCount; ++column) {
        int widest = 0;
        for (const DifferenceRow& row : m_model->rows()) {
            const std::string& cell = row.texts[static_cast<std::size_t>(column)];
            if (!cell.empty())
                widest = std::max(widest, metrics.horizontalAdvance(qtText(cell)));
        }
        // Never narrower than the header's caption, whatever the column's minimum.
        const int designed = kDifferenceColumns[static_cast<std::size_t>(column)].minimumWidth;
        const int minimum = std::max(designed, header->sectionSizeHint(column));
        header->resizeSection(column, std::max(minimum, widest + kColumnPadding));
    }
}

void TfrmDifferences::refresh(Refresh what) {
    if (what > m_pending)
        m_pending = what;
    if (m_filling)
        return;
    m_filling = true;
    try {
        while (m_pending != Refresh::None) {
            const Refresh now = m_pending;
            m_pending = Refresh::None;
            if (now == Refresh::Rebuild)
                BuildPages();
            FillPage();
        }
    } catch (...) {
        m_filling = false;
        m_pending = Refresh::None;
        throw;
    }
    m_filling = false;
}

void TfrmDifferences::UpdateFilterLabel() {
    lFilter->setText(qtText(m_model->filterLabel()));
}

void TfrmDifferences::TabControlChange() {
    const int tab = TabControl->currentIndex();
    if (tab < 0)
        return;
    if (!m_model->hasCompareList()) {
        lPages->setText(QStringLiteral("No pages"));
        UpDown->setEnabled(false);
        ePage->setEnabled(false);
        m_model->clearRows();
        m_tableModel->reload();
        return;
    }
    m_model->setTab(static_cast<DifferencesModel::Tab>(tab));
    refresh(Refresh::Rebuild);
}

void TfrmDifferences::ePageChange() {
    const std::optional<int> page = m_model->pageNumber(ePage->text().toStdString());
    if (page) {
        UpDown->setPosition(*page);
    } else {
        const QSignalBlocker blocker(ePage);
        ePage->setText(QString::number(UpDown->position()));
    }
    const BusyCursor busy;
    refresh(Refresh::Fill);
}

void TfrmDifferences::lbDiffColumnClick(int column) {
    m_model->sortByColumn(column);
    m_tableModel->reload();
}

std::vector<int> TfrmDifferences::selectedRows() const {
    std::vector<int> rows;
    if (const QItemSelectionModel* selection = lbDiff->selectionModel())
        for (const QModelIndex& index : selection->selectedRows())
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmDifferences::lbDiffDblClick() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty())
        return;
    if (const std::optional<std::string> details = m_model->detailsText(rows.front()))
        showInformation(uiServices(), *details);
}

void TfrmDifferences::pMenuPopup() {
    const DifferencesModel::MenuState state = m_model->menuState(selectedRows());
    mExclude->setEnabled(state.exclude);
    mInclude->setEnabled(state.include);
    mSelectAll->setEnabled(state.selectAll);
}

void TfrmDifferences::mExcludeClick() {
    if (m_model->exclude(selectedRows()))
        refresh(Refresh::Rebuild);
}

void TfrmDifferences::mIncludeClick() {
    if (m_model->include(selectedRows()))
        refresh(Refresh::Rebuild);
}

void TfrmDifferences::mSelectAllClick() {
    lbDiff->selectAll();
}

void TfrmDifferences::filterChanged() {
    m_model->setShowNew(mNotInSource->isChecked());
    m_model->setShowDeleted(mNotInDest->isChecked());
    m_model->setShowChanged(mChanged->isChecked());
    UpdateFilterLabel();
    refresh(Refresh::Rebuild);
}

void TfrmDifferences::mNotInSourceClick() {
    filterChanged();
}

void TfrmDifferences::mNotInDestClick() {
    filterChanged();
}

void TfrmDifferences::mChangedClick() {
    filterChanged();
}

void installDifferencesDialog() {
    showDifferencesEntry() = [](CompareList& compareList, KeySet& exclusionList, bool& exclusionsChanged) {
        if (isHeadlessSession()) {
            exclusionsChanged = false;
            reportSkippedWindow(
                "differences review",
                "the new state was not accepted, so the next run reports these changes again.");
            return false;
        }
        return TfrmDifferences::ShowDifferences(compareList, exclusionList, exclusionsChanged);
    };
}

} // namespace halcyra
