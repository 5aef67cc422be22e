#include "shell/MainForm.h"

#include "base/Product.h"
#include "detection/RunEngine.h"
#include "detection/RunProfile.h"
#include "platform/BusyCursor.h"
#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "platform/UiServices.h"
#include "settings/Settings.h"
#include "shell/About.h"
#include "shell/ApplicationTitle.h"
#include "shell/CommandLine.h"
#include "shell/DblClickForm.h"
#include "shell/OldSettings.h"
#include "shell/ProfileCommandsGui.h"
#include "shell/ProfileHousekeeping.h"
#include "shell/ProfileListModel.h"
#include "shell/ProgramIcon.h"
#include "shell/SysTray.h"
#include "shell/UpdateCheck.h"
#include "tools/DupeFiles.h"
#include "tools/HashedFiles.h"
#include "tools/SearchFiles.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>

namespace halcyra {

namespace {

constexpr int InitialWidth = 640;
constexpr int InitialHeight = 312;
constexpr int MinimumHeight = 153;
constexpr int AutoTimerInterval = 500;

void showErrorText(std::string_view text) {
    if (UiServices* ui = currentUiServices())
        showError(*ui, text);
}

} // namespace

template <class Handler> void TfrmMain::guarded(Handler handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        showErrorText(error.what());
    }
}

TfrmMain::TfrmMain(std::vector<std::string> parameters, QWidget* parent)
    : QMainWindow(parent), m_parameters(std::move(parameters)) {
    setObjectName("frmMain");
    RunProfileEntry = [this](TSettings& settings, bool unattended) {
        if (!TfrmRunProfile::RunProfile(settings, unattended))
            m_runFailed = true;
    };
    DblClickEntry = [](std::uint8_t& action) { return TfrmDblClick::Execute(action); };
    ProfileEntriesEntry = desktopProfileEntries;
    UpdateCheckEntry = [](std::string& newVersion, std::string& errorText) {
        CurlHttpGetter getter;
        return CheckForUpdate(getter, newVersion, errorText);
    };
    ConvertOldSettingsEntry = [](TSettings& root) {
        std::string errors;
        for (const std::string& error : ConvertOldSettings(root).errors)
            errors += (errors.empty() ? "" : "\n") + error;
        if (!errors.empty())
            showErrorText(errors);
    };

    AutoTimer = new QTimer(this);
    AutoTimer->setObjectName("AutoTimer");
    AutoTimer->setInterval(AutoTimerInterval);
    AutoTimer->setSingleShot(true);
    connect(AutoTimer, &QTimer::timeout, this, [this] { guarded([this] { AutoTimerTimer(); }); });

    buildMenus();
    buildWindow();
    buildTray();

    // Window creation.
    setWindowTitle(qtText(ApplicationTitle));
    setTrayHint(qtText(ApplicationTitle));
    SetAutoMode(0);
    FSettings = std::make_unique<TSettings>(SettingsRootKey);
    if (FSettings->ReadBoolDef("FirstRun", true))
        FSettings->WriteBool("FirstRun", false);
    const ProfileSort sort = readProfileSort(*FSettings);
    FSortColumn = sort.column;
    FSortAscending = sort.ascending;
    showSortIndicator();
    if (!m_parameters.empty())
        SetAutoMode(1);
}

TfrmMain::~TfrmMain() = default;

QAction* TfrmMain::makeAction(const char* name, const char* caption) {
    auto* action = new QAction(QString::fromLatin1(caption), this);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void TfrmMain::bindButton(QPushButton* button, QAction* action) {
    button->setEnabled(action->isEnabled());
    button->setAutoDefault(true); // Enter on a focused button presses that button
    connect(button, &QPushButton::clicked, action, &QAction::trigger);
    connect(action, &QAction::changed, button, [button, action] { button->setEnabled(action->isEnabled()); });
}

void TfrmMain::buildMenus() {
    aNewProfile = makeAction("aNewProfile", "New");
    aModifyProfile = makeAction("aModifyProfile", "Modify");
    aDeleteProfile = makeAction("aDeleteProfile", "Delete");
    aRename = makeAction("aRename", "Rename");
    aCopy = makeAction("aCopy", "Copy");
    aExportProfile = makeAction("aExportProfile", "Export Profile");
    aImportProfile = makeAction("aImportProfile", "Import Profile");
    aRunProfile = makeAction("aRunProfile", "&Run");
    aRunProfile->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    aViewLog = makeAction("aViewLog", "View Log");
    aMD5File = makeAction("aMD5File", "Hash Files");
    aMD5Directory = makeAction("aMD5Directory", "Hash Directory");
    aDuplicates = makeAction("aDuplicates", "Find Duplicate Files");
    aSearch = makeAction("aSearch", "File Search");
    aSchedule = makeAction("aSchedule", "Schedule");
    aConfigDblClick = makeAction("aConfigDblClick", "Double-click Action");
    aHelp = makeAction("aHelp", "Help");
    aDonate = makeAction("aDonate", "Donate!");
    aForums = makeAction("aForums", "Online Forums");
    aForums->setStatusTip("Visit the online forums");
    aForums->setToolTip("Visit the online forums");
    aUpdateCheck = makeAction("aUpdateCheck", "Update Check");
    aAbout = makeAction("aAbout", "About");
    aShow = makeAction("aShow", "Show");
    mExit = makeAction("mExit", "Exit!");
    // The short cut works wherever the focus is in the window.
    addAction(aRunProfile);
    // Every command hands the focus to the list first, so the list has it again when the command's windows
    // close (not a button the command disabled, nor Close, where Enter would end the program). Connected
    // before any command's own handler.
    for (QAction* action : findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly))
        if (action != mExit)
            connect(action, &QAction::triggered, this, [this] { lvProfiles->setFocus(); });

    connect(aRunProfile, &QAction::triggered, this, [this] { guarded([this] { aRunProfileExecute(); }); });
    connect(aConfigDblClick, &QAction::triggered, this,
            [this] { guarded([this] { aConfigDblClickExecute(); }); });
    // The hash tools: each opens its own window modally and frees it when it closes.
    const std::pair<QAction*, std::function<void()>> tools[] = {
        {aMD5File, [] { TfrmHashedFiles::Execute(1); }},
        {aMD5Directory, [] { TfrmHashedFiles::Execute(2); }},
        {aDuplicates, [] { TfrmDupeFiles::Execute(); }},
        {aSearch, [] { TfrmSearchFiles::Execute(); }},
    };
    for (const auto& [tool, open] : tools)
        connect(tool, &QAction::triggered, this, [this, open] {
            if (!m_busy)
                guarded(open);
        });
    connect(mExit, &QAction::triggered, this, &QWidget::close);
    connectProfileCommands();

    QMenuBar* bar = menuBar();
    QMenu* profiles = bar->addMenu("Profiles");
    profiles->setObjectName("mProfiles");
    profiles->addActions({aNewProfile, aModifyProfile, aDeleteProfile, aRename, aCopy});
    profiles->addSeparator();
    profiles->addActions({aExportProfile, aImportProfile});

    QMenu* action = bar->addMenu("Action");
    action->setObjectName("mAction");
    action->addActions({aRunProfile, aViewLog});
    action->addSeparator();
    action->addActions({aMD5File, aMD5Directory, aDuplicates, aSearch});
    action->addSeparator();
    action->addAction(aSchedule);
    action->addSeparator();
    action->addAction(aConfigDblClick);

    QMenu* help = bar->addMenu("Help");
    help->setObjectName("mHelp");
    help->addAction(aHelp);
    // The menu item reads "Donate" while the action's caption is "Donate!".
    QAction* donateItem = help->addAction("Donate");
    donateItem->setObjectName("mDonate");
    connect(donateItem, &QAction::triggered, aDonate, &QAction::trigger);
    connect(aDonate, &QAction::changed, donateItem,
            [donateItem, this] { donateItem->setEnabled(aDonate->isEnabled()); });
    help->addActions({aForums, aUpdateCheck, aAbout});

    bar->addAction(mExit);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    PopupMenu->addAction(aShow);
    PopupMenu->addSeparator();
    PopupMenu->addAction(aRunProfile);
    PopupMenu->addSeparator();
    PopupMenu->addActions({aModifyProfile, aSchedule, aDeleteProfile, aRename, aCopy});
    PopupMenu->addSeparator();
    PopupMenu->addAction(aViewLog);
}

void TfrmMain::connectProfileCommands() {
    // Each command gets the profile commands on the root key, with this window's run entry.
    auto commands = [this] {
        ProfileEntries entries = ProfileEntriesEntry ? ProfileEntriesEntry() : ProfileEntries{};
        entries.runProfile = RunProfileEntry;
        return ProfileCommands(*FSettings, activeUiServices(), std::move(entries));
    };
    // A command that may change profiles reloads the list when it says so.
    auto onTrigger = [this](QAction* action, auto command) {
        connect(action, &QAction::triggered, this, [this, command] {
            guarded([this, &command] {
                if (!m_busy && command())
                    RefreshProfiles();
            });
        });
    };
    // The new profile comes selected and in view.
    connect(aNewProfile, &QAction::triggered, this, [this, commands] {
        guarded([this, &commands] {
            std::string created;
            if (m_busy || !commands().newProfile(&created))
                return;
            RefreshProfiles();
            if (!created.empty())
                SelectProfiles({created});
        });
    });
    onTrigger(aModifyProfile, [this, commands] { return commands().modifyProfile(SelectedProfiles()); });
    onTrigger(aDeleteProfile, [this, commands] { return commands().DeleteProfiles(SelectedProfiles()); });
    onTrigger(aSchedule, [this, commands] { return commands().schedule(SelectedProfiles()); });
    // Rename, copy, export and import, with the schedule window of the same entries.
    auto housekeeping = [this] {
        ProfileEntries entries = ProfileEntriesEntry ? ProfileEntriesEntry() : ProfileEntries{};
        return ProfileHousekeeping(*FSettings, activeUiServices(), entries.editSchedule);
    };
    onTrigger(aRename, [this, housekeeping] { return housekeeping().aRenameExecute(SelectedProfiles()); });
    onTrigger(aCopy, [this, housekeeping] { return housekeeping().aCopyExecute(SelectedProfiles()); });
    onTrigger(aExportProfile, [this, housekeeping] {
        housekeeping().aExportProfileExecute(SelectedProfiles());
        return false;
    });
    onTrigger(aImportProfile, [housekeeping] { return housekeeping().aImportProfileExecute(); });
    onTrigger(aViewLog, [this, commands] {
        commands().viewLog(SelectedProfiles());
        return false;
    });
    onTrigger(aHelp, [commands] {
        commands().help();
        return false;
    });
    onTrigger(aDonate, [commands] {
        commands().donate();
        return false;
    });
    onTrigger(aForums, [commands] {
        commands().forums();
        return false;
    });
    onTrigger(aAbout, [this] {
        TfrmAbout::showOver(this);
        return false;
    });
}

void TfrmMain::buildWindow() {
    auto* central = new QWidget(this);
    central->setObjectName("pMain");
    setCentralWidget(central);

    m_model = new ProfileListModel(this);
    lvProfiles = new QTableView(central);
    lvProfiles->setObjectName("lvProfiles");
    lvProfiles->setModel(m_model);
    lvProfiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvProfiles->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvProfiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvProfiles->setShowGrid(false);
    lvProfiles->setWordWrap(false);
    lvProfiles->setTextElideMode(Qt::ElideRight);
    lvProfiles->verticalHeader()->hide();
    lvProfiles->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvProfiles->verticalHeader()->setDefaultSectionSize(lvProfiles->fontMetrics().height() + 4);
    QHeaderView* header = lvProfiles->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    lvProfiles->setItemDelegate(new ElidedTextToolTipDelegate(lvProfiles));
    fitProfileColumns(*lvProfiles);
    connect(header, &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([this, column] { lvProfilesColumnClick(column); }); });
    connect(lvProfiles->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { lvProfilesChange(); });
    connect(lvProfiles, &QAbstractItemView::doubleClicked, this,
            [this] { guarded([this] { lvProfilesDblClick(); }); });
    lvProfiles->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lvProfiles, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu->popup(lvProfiles->viewport()->mapToGlobal(at)); });
    lvProfiles->installEventFilter(this);

    auto makeButton = [central](const char* name, QAction* action) {
        auto* button = new QPushButton(action->text(), central);
        button->setObjectName(QString::fromLatin1(name));
        return button;
    };
    BitBtn1 = makeButton("BitBtn1", aNewProfile);
    BitBtn2 = makeButton("BitBtn2", aModifyProfile);
    BitBtn2->setDefault(true);
    BitBtn3 = makeButton("BitBtn3", aDeleteProfile);
    BitBtn4 = makeButton("BitBtn4", aRunProfile);
    BitBtn8 = makeButton("BitBtn8", aSchedule);
    BitBtn7 = new QPushButton("&Close", central);
    BitBtn7->setObjectName("BitBtn7");
    BitBtn7->setAutoDefault(true);
    connect(BitBtn7, &QPushButton::clicked, this, &QWidget::close);
    bindButton(BitBtn1, aNewProfile);
    bindButton(BitBtn2, aModifyProfile);
    bindButton(BitBtn3, aDeleteProfile);
    bindButton(BitBtn4, aRunProfile);
    bindButton(BitBtn8, aSchedule);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    buttons->addStretch();
    buttons->addWidget(BitBtn4);
    buttons->addWidget(BitBtn8);
    buttons->addWidget(BitBtn7);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(lvProfiles, 1);
    layout->addLayout(buttons);

    resize(InitialWidth, InitialHeight);
    setMinimumSize(InitialWidth, MinimumHeight);
}

void TfrmMain::setTrayHint(const QString& hint) {
    if (hint == m_trayHint)
        return;
    m_trayHint = hint;
    if (TrayIcon != nullptr)
        TrayIcon->SetHint(hint);
    emit trayHintChanged(m_trayHint);
}

void TfrmMain::showSortIndicator() {
    lvProfiles->horizontalHeader()->setSortIndicator(FSortColumn, FSortAscending ? Qt::AscendingOrder
                                                                                 : Qt::DescendingOrder);
}

void TfrmMain::SetAutoMode(std::uint8_t Mode) {
    AutoTimer->stop();
    FAutoMode = Mode;
    if (Mode != 0) // without a display nobody sees the window: the runs start at once
        AutoTimer->start(isHeadlessSession() ? 0 : AutoTimerInterval);
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shown || event->spontaneous())
        return;
    m_shown = true;
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        const ScreenPoint at =
            centredInWorkArea({area.left(), area.top(), area.width(), area.height()}, width(), height());
        move(at.x, at.y);
    }
    // After the window has appeared, so that a question it asks shows over it.
    QTimer::singleShot(0, this, [this] { guarded([this] { FormShow(); }); });
}

void TfrmMain::FormShow() {
    if (ConvertOldSettingsEntry && !FSettings->ReadString("Directories").empty())
        ConvertOldSettingsEntry(*FSettings);
    if (!m_parameters.empty())
        return;
    RefreshProfiles();
    if (m_model->rowCount() == 0 && !m_loadFailed) { // an unreadable store does not mean there are none
        UiServices* ui = currentUiServices();
        if (ui != nullptr && askYesNo(*ui, "You do not have any profiles. Would you like to create one now?"))
            aNewProfile->trigger();
    }
}

void TfrmMain::AutoTimerTimer() {
    AutoTimer->stop();
    if (FAutoMode != 1 || m_busy)
        return;
    m_busy = true;
    for (const ProfileRunRequest& run : profileRunsOf(m_parameters))
        runNamedProfile(run.name, run.unattended);
    m_busy = false;
    close();
}

void TfrmMain::runNamedProfile(const std::string& name, bool unattended) {
    bool ran = false;
    guarded([&] {
        const std::optional<std::string> key = profileKeyOf(name);
        if (!key) {
            showErrorText(missingProfileText(name));
            return;
        }
        TSettings settings(*key);
        RunProfileEntry(settings, unattended);
        ran = true;
    });
    if (!ran)
        m_runFailed = true;
}

void TfrmMain::RefreshProfiles() {
    const std::vector<std::string> selected = SelectedProfiles();
    ProfileListLoad load = loadProfileList(*FSettings, listedScheduleTexts());
    m_loadFailed = load.readFailed;
    sortProfileRows(load.rows, Sort());
    m_model->setRows(std::move(load.rows));
    SelectProfiles(selected);
    lvProfilesChange();
    if (m_loadFailed)
        showErrorText(load.error); // the store's own reason: some profiles may be missing from the list
}

std::vector<std::string> TfrmMain::SelectedProfiles() const {
    std::vector<std::string> names;
    const QModelIndexList rows = lvProfiles->selectionModel()->selectedRows();
    std::vector<int> indexes;
    for (const QModelIndex& index : rows)
        indexes.push_back(index.row());
    std::sort(indexes.begin(), indexes.end());
    for (const int row : indexes)
        if (row >= 0 && row < m_model->rowCount())
            names.push_back(m_model->rows()[static_cast<std::size_t>(row)].name);
    return names;
}

void TfrmMain::SelectProfiles(const std::vector<std::string>& names) {
    QItemSelection selection;
    int first = -1;
    for (const std::string& name : names) {
        const int row = m_model->rowOf(name);
        if (row < 0)
            continue;
        selection.select(m_model->index(row, 0), m_model->index(row, ProfileColumnCount - 1));
        if (first < 0 || row < first)
            first = row;
    }
    QItemSelectionModel* model = lvProfiles->selectionModel();
    if (first >= 0) {
        lvProfiles->setFocus();
        model->setCurrentIndex(m_model->index(first, 0), QItemSelectionModel::NoUpdate);
        lvProfiles->scrollTo(m_model->index(first, 0));
    }
    model->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TfrmMain::lvProfilesChange() {
    const std::vector<std::string> selected = SelectedProfiles();
    const SelectionEnabling enabling = selectionEnabling(selected.size());
    for (QAction* action : {aModifyProfile, aSchedule, aRename, aCopy})
        action->setEnabled(enabling.single);
    for (QAction* action : {aDeleteProfile, aRunProfile, aViewLog, aExportProfile})
        action->setEnabled(enabling.multiple);
    setTrayHint(qtText(selectionHint(ApplicationTitle, selected)));
}

void TfrmMain::resortRows() {
    const std::vector<std::string> selected = SelectedProfiles();
    std::vector<ProfileRow> rows = m_model->rows();
    sortProfileRows(rows, Sort());
    m_model->setRows(std::move(rows));
    SelectProfiles(selected);
    lvProfilesChange();
}

void TfrmMain::lvProfilesColumnClick(int column) {
    const ProfileSort sort = sortAfterColumnClick(Sort(), column);
    FSortColumn = sort.column;
    FSortAscending = sort.ascending;
    showSortIndicator();
    resortRows();
}

void TfrmMain::lvProfilesDblClick() {
    std::int32_t value = FSettings->ReadIntegerDef("DoubleClick", DoubleClickNotChosen);
    if (value < 0) {
        aConfigDblClick->trigger();
        value = FSettings->ReadIntegerDef("DoubleClick", DoubleClickNotChosen);
        if (value < 0)
            return;
    }
    QAction* action = nullptr;
    switch (static_cast<DoubleClickAction>(value & 0xFF)) {
    case DoubleClickAction::Run:
        action = aRunProfile;
        break;
    case DoubleClickAction::Modify:
        action = aModifyProfile;
        break;
    case DoubleClickAction::Schedule:
        action = aSchedule;
        break;
    case DoubleClickAction::ViewLog:
        action = aViewLog;
        break;
    default:
        return;
    }
    if (action->isEnabled())
        action->trigger();
}

void TfrmMain::aConfigDblClickExecute() {
    std::uint8_t action = doubleClickPreset(FSettings->ReadIntegerDef("DoubleClick", DoubleClickNotChosen));
    if (DblClickEntry && DblClickEntry(action))
        FSettings->WriteInteger("DoubleClick", action);
}

void TfrmMain::lvProfilesKeyUp(int key) {
    if (key == Qt::Key_Delete && aDeleteProfile->isEnabled())
        aDeleteProfile->trigger();
}

void TfrmMain::aRunProfileExecute() {
    const std::vector<std::string> names = SelectedProfiles();
    if (names.empty() || m_busy)
        return;
    m_busy = true;
    for (const std::string& name : names)
        runNamedProfile(name, false);
    m_busy = false;
    RefreshProfiles();
    if (m_closeRequested)
        close();
}

bool TfrmMain::FormCloseQuery() {
    if (m_busy) {
        m_closeRequested = true; // the window closes once the runs have ended
        return false;
    }
    writeProfileSort(*FSettings, Sort());
    return true;
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    bool allowed = false;
    guarded([&] { allowed = FormCloseQuery(); });
    if (!allowed && m_busy) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    AutoTimer->stop();
    emit closed();
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (BitBtn2->isEnabled())
            BitBtn2->click();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lvProfiles && event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat())
            guarded([this, key] { lvProfilesKeyUp(key->key()); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::buildTray() {
    TrayIcon = new TSysTrayIcon(this);
    const QIcon icon = programIcon();
    TrayIcon->SetIcon(icon.isNull() ? style()->standardIcon(QStyle::SP_DriveHDIcon) : icon);
    TrayIcon->SetIconIndex(0);
    TrayIcon->SetCycleInterval(0);
    TrayIcon->SetPopupMenu(PopupMenu);
    TrayIcon->LeftPopup = true;
    TrayIcon->MinimizeToTray = true;
    TrayIcon->OnDblClick = [this](TSysTrayIcon&) { guarded([this] { TrayIconDblClick(); }); };
    TrayIcon->Loaded();
    connect(PopupMenu, &QMenu::aboutToShow, this, [this] { PopupMenuPopup(); });
    connect(aShow, &QAction::triggered, this, [this] { guarded([this] { aShowExecute(); }); });
    connect(aUpdateCheck, &QAction::triggered, this, [this] { guarded([this] { aUpdateCheckExecute(); }); });
}

void TfrmMain::aShowExecute() {
    if (isVisible())
        return;
    TrayIcon->ShowMainForm();
    TrayIcon->SetIconVisible(false);
    TrayIcon->ShowTaskbarIcon();
}

void TfrmMain::PopupMenuPopup() {
    aShow->setEnabled(!isVisible());
}

void TfrmMain::TrayIconDblClick() {
    PopupMenuPopup(); // Show follows the window, whether or not the menu was opened since it was hidden
    aShow->trigger();
}

void TfrmMain::aUpdateCheckExecute() {
    std::string newVersion;
    std::string errorText;
    bool newer = false;
    {
        // The request holds the window until it ends; the hourglass says so, and goes on every way out.
        const BusyCursor busy;
        newer = UpdateCheckEntry && UpdateCheckEntry(newVersion, errorText);
    }
    UiServices* ui = currentUiServices();
    if (ui == nullptr)
        return;
    if (newer) {
        showInformation(*ui, "A newer version (" + newVersion + ") is available for download.");
        openDocumentOrSay(*ui, kProductDownloadPage);
    } else if (!errorText.empty()) {
        showError(*ui, errorText);
    } else {
        showInformation(*ui, "You have the latest version.");
    }
}

} // namespace halcyra
