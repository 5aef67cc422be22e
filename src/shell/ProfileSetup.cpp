#include "shell/ProfileSetup.h"

#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "scheduling/ScheduleForm.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/AuxProcs.h"
#include "settings/Settings.h"

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace halcyra {

namespace {

constexpr int IndentStep = 16;
constexpr int IconSize = 16;
constexpr int Gap = 4;

UiServices& installedUi(UiServices* given) {
    return given != nullptr ? *given : activeUiServices();
}

QString fileNameText(std::string_view name) {
    return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// Cycles unchecked, checked, grayed: the order in which the three scan depths are offered.
class ThreeStateCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        switch (checkState()) {
        case Qt::Unchecked:
            setCheckState(Qt::Checked);
            break;
        case Qt::Checked:
            setCheckState(Qt::PartiallyChecked);
            break;
        default:
            setCheckState(Qt::Unchecked);
            break;
        }
    }
};

std::uint8_t recursiveOf(Qt::CheckState state) {
    return state == Qt::Unchecked ? 0 : state == Qt::Checked ? 1 : 2;
}

Qt::CheckState checkStateOf(std::uint8_t recursive) {
    return recursive == 0 ? Qt::Unchecked : recursive == 1 ? Qt::Checked : Qt::PartiallyChecked;
}

enum SubFolderRole { DepthRole = Qt::UserRole + 1, SmallImageRole, StateImageRole };

// Where a row's state picture is drawn inside the row's rectangle.
QRect stateImageRect(const QRect& rowRect, int depth, const QStyle* style) {
    const int width = style->pixelMetric(QStyle::PM_IndicatorWidth);
    const int height = style->pixelMetric(QStyle::PM_IndicatorHeight);
    return {rowRect.left() + 2 + depth * IndentStep, rowRect.top() + (rowRect.height() - height) / 2, width,
            height};
}

// Paints a row indented by its depth: its state picture (unchecked, checked, partial), a folder picture
// (grayed when unchecked) and its relative key.
class SubFolderDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        const QString text = opt.text;
        opt.text.clear();
        opt.icon = QIcon();
        opt.features &= ~(QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration);
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);

        const int depth = index.data(DepthRole).toInt();
        QStyleOptionViewItem check;
        check.rect = stateImageRect(option.rect, depth, style);
        check.state = QStyle::State_Enabled;
        switch (index.data(StateImageRole).toInt()) {
        case 0:
            check.state |= QStyle::State_Off;
            break;
        case 1:
            check.state |= QStyle::State_On;
            break;
        default:
            check.state |= QStyle::State_NoChange;
            break;
        }
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, opt.widget);

        const QRect iconRect(check.rect.right() + Gap,
                             option.rect.top() + (option.rect.height() - IconSize) / 2, IconSize, IconSize);
        const QIcon folder = style->standardIcon(QStyle::SP_DirIcon);
        folder.paint(painter, iconRect, Qt::AlignCenter,
                     index.data(SmallImageRole).toInt() == 1 ? QIcon::Normal : QIcon::Disabled);

        QRect textRect = option.rect;
        textRect.setLeft(iconRect.right() + Gap);
        painter->save();
        painter->setPen(option.palette.color(
            (option.state & QStyle::State_Selected) ? QPalette::HighlightedText : QPalette::Text));
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        const int depth = index.data(DepthRole).toInt();
        const int indicator = style->pixelMetric(QStyle::PM_IndicatorWidth);
        const int textWidth = option.fontMetrics.horizontalAdvance(index.data(Qt::DisplayRole).toString());
        const int height = std::max({option.fontMetrics.height(), IconSize,
                                     style->pixelMetric(QStyle::PM_IndicatorHeight)}) +
                           4;
        return {2 + depth * IndentStep + indicator + Gap + IconSize + Gap + textWidth + Gap, height};
    }
};

} // namespace

// The rows of the sub-folder tree for a list view. The rows are the selection's; the window resets the model
// around every change of them.
class SubFolderModel final : public QAbstractListModel {
public:
    SubFolderModel(const SubFolderTree& tree, QObject* parent) : QAbstractListModel(parent), m_tree(tree) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_tree.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_tree.size())
            return {};
        const SubFolderRow& row = m_tree.row(static_cast<std::size_t>(index.row()));
        switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return fileNameText(row.caption);
        case Qt::CheckStateRole:
            return row.stateImage == 0   ? Qt::Unchecked
                   : row.stateImage == 1 ? Qt::Checked
                                         : Qt::PartiallyChecked;
        case DepthRole:
            return row.depth;
        case SmallImageRole:
            return row.smallImage();
        case StateImageRole:
            return row.stateImage;
        default:
            return {};
        }
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }
    // Every row may have changed its pictures.
    void marksChanged() {
        if (!m_tree.empty())
            emit dataChanged(index(0), index(rowCount() - 1));
    }

private:
    const SubFolderTree& m_tree;
};

bool TfrmProfileSetup::Execute(bool IsNew, std::uint8_t ProfileType, TSettings* Settings) {
    if (ProfileType != 1 || Settings == nullptr)
        return false;
    if (isHeadlessSession()) {
        reportSkippedWindow("profile set-up", "the profile was left as it is.");
        return false;
    }
    TfrmProfileSetup window(IsNew, ProfileType, *Settings);
    return window.exec() == QDialog::Accepted;
}

TfrmProfileSetup::TfrmProfileSetup(bool IsNew, std::uint8_t ProfileType, TSettings& Settings,
                                   ProfileSetupServices services, QWidget* parent)
    : QDialog(parent), m_settings(Settings), m_profileType(ProfileType), m_isNew(IsNew),
      m_services(std::move(services)), m_ui(installedUi(m_services.ui)), m_profileName(Settings.KeyName()),
      m_subFolders(m_profileName, m_services.fileSystem) {
    setObjectName(QStringLiteral("frmProfileSetup"));
    setWindowTitle(QStringLiteral("Profile Setup"));
    setMinimumSize(637, 485);

    auto* directoryLabel = new QLabel(QStringLiteral("Directory"), this);
    eDirectory = new QLineEdit(this);
    eDirectory->setObjectName(QStringLiteral("eDirectory"));
    eDirectory->setToolTip(QStringLiteral("This is the directory to scan for changes."));
    directoryLabel->setBuddy(eDirectory);
    bSource = new QToolButton(this);
    bSource->setObjectName(QStringLiteral("bSource"));
    bSource->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    cbRecursive = new ThreeStateCheckBox(QStringLiteral("Include sub-directories and files"), this);
    cbRecursive->setObjectName(QStringLiteral("cbRecursive"));
    cbRecursive->setTristate(true);
    cbRecursive->setToolTip(QStringLiteral("If not ticked then only the files in the directory are scanned, "
                                           "and not any of its sub-directories or their files"));

    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));

    // Scan
    tsScan = new QWidget;
    tsScan->setObjectName(QStringLiteral("tsScan"));
    cbNoHash = new QCheckBox(QStringLiteral("Do not hash files - just check size and date && time"), tsScan);
    cbNoHash->setObjectName(QStringLiteral("cbNoHash"));
    auto makeMaskColumn = [this](const char* listName, const char* caption, const char* hint,
                                 const char* addName, const char* removeName, QListWidget*& list,
                                 QPushButton*& add, QPushButton*& remove) {
        auto* column = new QVBoxLayout;
        auto* label = new QLabel(QString::fromUtf8(caption), tsScan);
        list = new QListWidget(tsScan);
        list->setObjectName(QLatin1String(listName));
        list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        list->setToolTip(QString::fromUtf8(hint));
        label->setBuddy(list);
        add = new QPushButton(QStringLiteral("Add"), tsScan);
        add->setObjectName(QLatin1String(addName));
        add->setAutoDefault(false);
        remove = new QPushButton(QStringLiteral("Remove"), tsScan);
        remove->setObjectName(QLatin1String(removeName));
        remove->setAutoDefault(false);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(add);
        buttons->addWidget(remove);
        buttons->addStretch();
        column->addWidget(label);
        column->addWidget(list);
        column->addLayout(buttons);
        return column;
    };
    auto* masks = new QHBoxLayout;
    masks->addLayout(makeMaskColumn("lbAddList", "Files types to scan", "Files of these types are hashed.",
                                    "bAddAdd", "bRemoveAdd", lbAddList, bAddAdd, bRemoveAdd));
    masks->addLayout(
        makeMaskColumn("lbNotList", "Files types to NOT scan",
                       "Files of these types are not hashed, e.g. temporary files, scratch files, "
                       "etc.",
                       "bAddNot", "bRemoveNot", lbNotList, bAddNot, bRemoveNot));
    auto* scanLayout = new QVBoxLayout(tsScan);
    scanLayout->addWidget(cbNoHash);
    scanLayout->addLayout(masks);
    PageControl->addTab(tsScan, QStringLiteral("Scan"));

    // Options
    tsOptions = new QWidget;
    tsOptions->setObjectName(QStringLiteral("tsOptions"));
    auto* logGroup = new QGroupBox(QStringLiteral("Log File"), tsOptions);
    cbDisplayLog = new QCheckBox(QStringLiteral("Display log after running a profile"), logGroup);
    cbDisplayLog->setObjectName(QStringLiteral("cbDisplayLog"));
    cbDisplayLogChanges = new QCheckBox(QStringLiteral("Only when changes or errors occur"), logGroup);
    cbDisplayLogChanges->setObjectName(QStringLiteral("cbDisplayLogChanges"));
    auto* logLayout = new QVBoxLayout(logGroup);
    logLayout->addWidget(cbDisplayLog);
    logLayout->addWidget(cbDisplayLogChanges);
    auto* ejectGroup = new QGroupBox(QStringLiteral("Media Eject"), tsOptions);
    cbEject = new QCheckBox(QStringLiteral("Eject drive media after profile is run"), ejectGroup);
    cbEject->setObjectName(QStringLiteral("cbEject"));
    bEjectSource = new QPushButton(QStringLiteral("Test Eject"), ejectGroup);
    bEjectSource->setObjectName(QStringLiteral("bEjectSource"));
    bEjectSource->setAutoDefault(false);
    auto* ejectLayout = new QHBoxLayout(ejectGroup);
    ejectLayout->addWidget(cbEject);
    ejectLayout->addStretch();
    ejectLayout->addWidget(bEjectSource);
    auto* scheduleGroup = new QGroupBox(QStringLiteral("Schedule"), tsOptions);
    lSchedule = new QLabel(QStringLiteral("There is no schedule for this profile"), scheduleGroup);
    lSchedule->setObjectName(QStringLiteral("lSchedule"));
    lSchedule->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lSchedule->setTextFormat(Qt::PlainText);
    setTextColour(lSchedule, Qt::red);
    bSchedule = new QPushButton(QStringLiteral("Schedule"), scheduleGroup);
    bSchedule->setObjectName(QStringLiteral("bSchedule"));
    bSchedule->setToolTip(QStringLiteral("Create, edit, or delete the schedule for this profile"));
    bSchedule->setAutoDefault(false);
    auto* scheduleLayout = new QVBoxLayout(scheduleGroup);
    scheduleLayout->addWidget(lSchedule);
    scheduleLayout->addWidget(bSchedule, 0, Qt::AlignHCenter);
    auto* optionsLayout = new QVBoxLayout(tsOptions);
    optionsLayout->addWidget(logGroup);
    optionsLayout->addWidget(ejectGroup);
    optionsLayout->addWidget(scheduleGroup);
    optionsLayout->addStretch();
    PageControl->addTab(tsOptions, QStringLiteral("Options"));

    // Sub-directories
    tsSubDir = new QWidget;
    tsSubDir->setObjectName(QStringLiteral("tsSubDir"));
    lSubDirStatus = new QLabel(tsSubDir);
    lSubDirStatus->setObjectName(QStringLiteral("lSubDirStatus"));
    lSubDirStatus->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lSubDirStatus->setTextFormat(Qt::PlainText);
    ListView = new QListView(tsSubDir);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setUniformItemSizes(false);
    m_model = new SubFolderModel(m_subFolders.tree(), this);
    ListView->setModel(m_model);
    ListView->setItemDelegate(new SubFolderDelegate(ListView));
    ListView->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView->viewport()->installEventFilter(this);
    pPleaseWait = new QFrame(tsSubDir);
    pPleaseWait->setObjectName(QStringLiteral("pPleaseWait"));
    pPleaseWait->setFrameShape(QFrame::Panel);
    lFilename = new QLabel(pPleaseWait);
    lFilename->setObjectName(QStringLiteral("lFilename"));
    lFilename->setAlignment(Qt::AlignCenter);
    lFilename->setTextFormat(Qt::PlainText);
    auto* waitLayout = new QVBoxLayout(pPleaseWait);
    waitLayout->addWidget(lFilename);
    pPleaseWait->hide();
    auto* subDirLayout = new QVBoxLayout(tsSubDir);
    subDirLayout->addWidget(lSubDirStatus);
    subDirLayout->addWidget(pPleaseWait);
    subDirLayout->addWidget(ListView, 1);
    subDirLayout->addStretch(); // holds the status line at the top while the tree is hidden
    PageControl->addTab(tsSubDir, QStringLiteral("Sub-directories"));

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    mRefresh = PopupMenu->addAction(QStringLiteral("Refresh"), this, &TfrmProfileSetup::mRefreshClick);
    mCheckAll = PopupMenu->addAction(QStringLiteral("Check All"), this, &TfrmProfileSetup::mCheckAllClick);
    mCheckSelected =
        PopupMenu->addAction(QStringLiteral("Check Selected"), this, &TfrmProfileSetup::mCheckSelectedClick);
    mUncheckAll =
        PopupMenu->addAction(QStringLiteral("Uncheck All"), this, &TfrmProfileSetup::mUncheckAllClick);
    mUncheckSelected = PopupMenu->addAction(QStringLiteral("Uncheck Selected"), this,
                                            &TfrmProfileSetup::mUncheckSelectedClick);
    mRefresh->setObjectName(QStringLiteral("mRefresh"));
    mCheckAll->setObjectName(QStringLiteral("mCheckAll"));
    mCheckSelected->setObjectName(QStringLiteral("mCheckSelected"));
    mUncheckAll->setObjectName(QStringLiteral("mUncheckAll"));
    mUncheckSelected->setObjectName(QStringLiteral("mUncheckSelected"));

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setAutoDefault(false);

    auto* directoryRow = new QHBoxLayout;
    directoryRow->addWidget(directoryLabel);
    directoryRow->addWidget(eDirectory, 1);
    directoryRow->addWidget(bSource);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(bOK);
    buttonRow->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(directoryRow);
    layout->addWidget(cbRecursive);
    layout->addWidget(PageControl, 1);
    layout->addLayout(buttonRow);

    connect(bSource, &QToolButton::clicked, this, &TfrmProfileSetup::bSourceClick);
    connect(bAddAdd, &QPushButton::clicked, this, &TfrmProfileSetup::bAddAddClick);
    connect(bAddNot, &QPushButton::clicked, this, &TfrmProfileSetup::bAddNotClick);
    connect(bRemoveAdd, &QPushButton::clicked, this, &TfrmProfileSetup::bRemoveAddClick);
    connect(bRemoveNot, &QPushButton::clicked, this, &TfrmProfileSetup::bRemoveNotClick);
    connect(bSchedule, &QPushButton::clicked, this, &TfrmProfileSetup::bScheduleClick);
    connect(cbDisplayLog, &QCheckBox::clicked, this, &TfrmProfileSetup::cbDisplayLogClick);
    connect(bEjectSource, &QPushButton::clicked, this, &TfrmProfileSetup::bEjectSourceClick);
    connect(eDirectory, &QLineEdit::editingFinished, this, &TfrmProfileSetup::eDirectoryExit);
    connect(bOK, &QPushButton::clicked, this, &TfrmProfileSetup::accept);
    connect(bCancel, &QPushButton::clicked, this, &TfrmProfileSetup::reject);
    connect(ListView, &QListView::doubleClicked, this, &TfrmProfileSetup::ListViewDblClick);
    connect(ListView, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        PopupMenu->popup(ListView->viewport()->mapToGlobal(position));
    });

    FormCreate();

    connect(cbRecursive, &QCheckBox::stateChanged, this, &TfrmProfileSetup::cbRecursiveClick);
    connect(PageControl, &QTabWidget::currentChanged, this, [this] {
        if (PageControl->currentWidget() == tsSubDir)
            tsSubDirShow();
    });
}

TfrmProfileSetup::~TfrmProfileSetup() {
    // The model reads the selection's rows, which go before the window's children do.
    delete m_model;
}

void TfrmProfileSetup::FormCreate() {
    setWindowTitle(QStringLiteral("Profile Setup: ") + qtText(m_profileName));
    m_values = loadProfileValues(m_settings);
    cbRecursive->setCheckState(checkStateOf(m_values.Recursive));
    ListView->setVisible(m_values.Recursive == 2);
    eDirectory->setText(fileNameText(m_values.Source));
    UpdateScheduleLabel();
    cbDisplayLog->setChecked(m_values.DisplayLog);
    cbDisplayLogChanges->setChecked(m_values.DisplayLogChanges);
    cbEject->setChecked(m_values.Eject);
    cbNoHash->setChecked(m_values.NoHash);
    UpdateLogOptions();
    showMasks(m_values.FileMasks, lbAddList);
    showMasks(m_values.ExclFileMasks, lbNotList);
    PageControl->setCurrentWidget(tsScan);
}

std::string TfrmProfileSetup::editText() const {
    return QFile::encodeName(eDirectory->text()).toStdString();
}

void TfrmProfileSetup::UpdateLogOptions() {
    cbDisplayLogChanges->setEnabled(cbDisplayLog->isChecked());
}

void TfrmProfileSetup::cbDisplayLogClick() {
    UpdateLogOptions();
}

void TfrmProfileSetup::UpdateScheduleLabel() {
    bool shared = false;
    std::string text;
    const bool found = m_services.scheduleText ? m_services.scheduleText(m_profileName, shared, text)
                                               : GetProfileScheduleText(m_profileName, shared, text);
    if (found) {
        lSchedule->setText(qtText(text));
        setTextColour(lSchedule, palette().color(QPalette::WindowText));
    } else {
        lSchedule->setText(QStringLiteral("There is no schedule for this profile"));
        setTextColour(lSchedule, Qt::red);
    }
}

void TfrmProfileSetup::bScheduleClick() {
    if (m_services.editSchedule)
        m_services.editSchedule(m_profileName, "");
    else if (const auto& entry = TfrmSchedule::editScheduleEntry())
        entry(m_profileName, "");
    UpdateScheduleLabel();
}

void TfrmProfileSetup::bSourceClick() {
    std::string folder = editText();
    if (!BrowseForFolder(m_ui, "Select a directory", folder))
        return;
    eDirectory->setText(fileNameText(folderWithoutTrailingSlash(folder)));
    RefreshSubDirs();
}

void TfrmProfileSetup::eDirectoryExit() {
    const std::string folder = editText();
    if (folder.empty())
        return;
    const std::string trimmed = folderWithoutTrailingSlash(folder);
    if (trimmed != folder)
        eDirectory->setText(fileNameText(trimmed));
    RefreshSubDirs();
}

void TfrmProfileSetup::bEjectSourceClick() {
    const std::string folder = editText();
    if (folder.empty())
        return;
    if (m_services.ejectMedia)
        m_services.ejectMedia(folder);
    else
        EjectMedia(folder);
}

void TfrmProfileSetup::showMasks(const std::vector<std::string>& masks, QListWidget* list) {
    list->clear();
    for (const std::string& mask : masks)
        list->addItem(fileNameText(mask));
}

void TfrmProfileSetup::addMaskTo(std::vector<std::string>& masks, QListWidget* list) {
    const std::optional<std::string> answer = m_ui.inputText("Enter file mask, e.g. *.exe", "Mask", "");
    if (!answer)
        return;
    std::string error;
    if (addMask(masks, *answer, error) == MaskAddResult::Invalid) {
        showError(m_ui, error);
        return;
    }
    showMasks(masks, list);
}

void TfrmProfileSetup::removeSelectedFrom(std::vector<std::string>& masks, QListWidget* list) {
    for (int row = list->count() - 1; row >= 0; --row)
        if (list->item(row)->isSelected() && static_cast<std::size_t>(row) < masks.size())
            masks.erase(masks.begin() + row);
    showMasks(masks, list);
}

void TfrmProfileSetup::bAddAddClick() {
    addMaskTo(m_values.FileMasks, lbAddList);
}

void TfrmProfileSetup::bAddNotClick() {
    addMaskTo(m_values.ExclFileMasks, lbNotList);
}

void TfrmProfileSetup::bRemoveAddClick() {
    removeSelectedFrom(m_values.FileMasks, lbAddList);
}

void TfrmProfileSetup::bRemoveNotClick() {
    removeSelectedFrom(m_values.ExclFileMasks, lbNotList);
}

void TfrmProfileSetup::cbRecursiveClick() {
    RefreshSubDirs();
}

void TfrmProfileSetup::tsSubDirShow() {
    RefreshSubDirs();
}

void TfrmProfileSetup::RefreshSubDirs() {
    if (PageControl->currentWidget() != tsSubDir)
        return;
    if (m_busy) {
        m_refreshPending = true;
        return;
    }
    const std::string folder = folderWithoutTrailingSlash(editText());
    bool showTree = false;
    bool red = false;
    switch (cbRecursive->checkState()) {
    case Qt::Unchecked:
        lSubDirStatus->setText(QStringLiteral("No sub-directories will be scanned"));
        break;
    case Qt::Checked:
        lSubDirStatus->setText(QStringLiteral("All sub-directories and their files will be scanned"));
        break;
    default:
        if (folder.empty()) {
            lSubDirStatus->setText(QStringLiteral("Please enter a directory"));
            red = true;
            eDirectory->setFocus();
        } else {
            lSubDirStatus->setText(
                QStringLiteral("The directories with check marks next to them will be scanned"));
            showTree = true;
        }
        break;
    }
    setTextColour(lSubDirStatus, red ? QColor(Qt::red) : palette().color(QPalette::WindowText));
    ListView->setVisible(showTree);
    QCoreApplication::processEvents();
    if (!showTree || !m_subFolders.needsFill(folder))
        return;
    try {
        fillTree(folder);
    } catch (const std::exception& error) {
        showError(m_ui, std::string("Exception raised: ") + error.what());
    }
}

void TfrmProfileSetup::setBusy(bool busy) {
    m_busy = busy;
    for (QWidget* widget :
         std::initializer_list<QWidget*>{bOK, bCancel, eDirectory, bSource, cbRecursive,
                                         PageControl->tabBar(), tsScan, tsOptions, ListView})
        widget->setEnabled(!busy);
}

void TfrmProfileSetup::fillTree(const std::string& folder) {
    {
        setBusy(true);
        bool cursorSet = false;
        const auto restore = qScopeGuard([&] {
            if (cursorSet)
                QApplication::restoreOverrideCursor();
            lFilename->clear();
            pPleaseWait->hide();
            setBusy(false);
        });
        pPleaseWait->show();
        lFilename->clear();
        QCoreApplication::processEvents();

        QElapsedTimer sinceShown;
        sinceShown.start();
        const SubFolderList folders = m_subFolders.listFolders(folder, [&](const std::string& relative) {
            if (sinceShown.elapsed() < 50)
                return;
            sinceShown.restart();
            const QString text = fileNameText(relative);
            lFilename->setText(
                lFilename->fontMetrics().elidedText(text, Qt::ElideMiddle, lFilename->width()));
            QCoreApplication::processEvents();
        });

        QApplication::setOverrideCursor(Qt::WaitCursor);
        cursorSet = true;
        lFilename->setText(QStringLiteral("Updating display..."));
        QCoreApplication::processEvents();
        m_model->beginReset();
        const auto endReset = qScopeGuard([this] { m_model->endReset(); });
        m_subFolders.showFolders(folders);
    }
    if (m_refreshPending) {
        m_refreshPending = false;
        RefreshSubDirs();
    }
}

std::vector<std::size_t> TfrmProfileSetup::selectedRows() const {
    std::vector<std::size_t> rows;
    for (const QModelIndex& index : ListView->selectionModel()->selectedIndexes())
        rows.push_back(static_cast<std::size_t>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TfrmProfileSetup::treeChanged() {
    m_model->marksChanged();
}

void TfrmProfileSetup::mRefreshClick() {
    if (m_busy)
        return;
    m_subFolders.CollectExcludedDirs();
    m_subFolders.forgetShownDir();
    RefreshSubDirs();
}

void TfrmProfileSetup::mCheckAllClick() {
    m_subFolders.tree().setAllChecked(true);
    treeChanged();
}

void TfrmProfileSetup::mUncheckAllClick() {
    m_subFolders.tree().setAllChecked(false);
    treeChanged();
}

void TfrmProfileSetup::mCheckSelectedClick() {
    m_subFolders.tree().setRowsChecked(selectedRows(), true);
    treeChanged();
}

void TfrmProfileSetup::mUncheckSelectedClick() {
    m_subFolders.tree().setRowsChecked(selectedRows(), false);
    treeChanged();
}

void TfrmProfileSetup::ListViewDblClick() {
    const std::vector<std::size_t> rows = selectedRows();
    if (rows.empty())
        return;
    m_subFolders.tree().toggle(rows.front());
    treeChanged();
}

bool TfrmProfileSetup::ListViewMouseDown(const QPoint& position) {
    const QModelIndex index = ListView->indexAt(position);
    if (!index.isValid())
        return false;
    const QRect stateRect =
        stateImageRect(ListView->visualRect(index), index.data(DepthRole).toInt(), ListView->style());
    if (!stateRect.contains(position))
        return false;
    m_subFolders.tree().toggle(static_cast<std::size_t>(index.row()));
    treeChanged();
    return true;
}

bool TfrmProfileSetup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView->viewport() && !m_busy &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        // A press on the state picture toggles the row; a second press of a double click toggles it back
        // rather than counting as a double click on the row.
        if (mouse->button() == Qt::LeftButton && ListViewMouseDown(mouse->position().toPoint()))
            return event->type() == QEvent::MouseButtonDblClick;
    }
    return QDialog::eventFilter(watched, event);
}

bool TfrmProfileSetup::FormClose() {
    const std::string folder = folderWithoutTrailingSlash(editText());
    if (folder != editText())
        eDirectory->setText(fileNameText(folder));
    if (const std::string error = sourceFolderError(folder); !error.empty()) {
        showError(m_ui, error);
        eDirectory->setFocus();
        return false;
    }
    if (m_values.FileMasks.empty()) {
        m_values.FileMasks.push_back("*.*");
        showMasks(m_values.FileMasks, lbAddList);
    }

    if (!m_subFolders.shownDir().empty()) {
        // The tree must show the folder being saved before its check marks become the exclusion list.
        if (m_subFolders.needsFill(folder)) {
            m_subFolders.CollectExcludedDirs();
            fillTree(folder);
        }
        if (m_subFolders.CollectExcludedDirs()) {
            if (m_subFolders.tree().noneChecked())
                m_ui.messageBox(MessageKind::Warning, "Warning",
                                "You have not selected any sub-directories to backup/synchronise!", ButtonOk,
                                ButtonOk);
            if (const std::string error = m_subFolders.saveExcludedDirs(); !error.empty())
                showError(m_ui, error);
        }
    }

    m_values.Source = folder;
    m_values.Recursive = recursiveOf(cbRecursive->checkState());
    m_values.NoHash = cbNoHash->isChecked();
    m_values.DisplayLog = cbDisplayLog->isChecked();
    m_values.DisplayLogChanges = cbDisplayLogChanges->isChecked() && cbDisplayLogChanges->isEnabled();
    m_values.Eject = cbEject->isChecked();
    if (!m_isNew && changesAffectResults(m_settings, m_values))
        showInformation(m_ui,
                        "You have changed one or more settings that will affect the results of the next "
                        "scan. The next run of this profile may find a number of changes.");
    saveProfileValues(m_settings, m_values, m_profileType);
    return true;
}

void TfrmProfileSetup::accept() {
    if (m_busy)
        return;
    try {
        if (!FormClose())
            return;
    } catch (const std::exception& error) {
        showError(m_ui, std::string("Exception raised: ") + error.what());
        return;
    }
    QDialog::accept();
}

void TfrmProfileSetup::reject() {
    if (m_busy)
        return;
    QDialog::reject();
}

void TfrmProfileSetup::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace halcyra
