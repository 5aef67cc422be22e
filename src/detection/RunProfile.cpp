#include "detection/RunProfile.h"

#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "platform/QtText.h"
#include "platform/UiServices.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <chrono>
#include <exception>

namespace halcyra {

namespace {

constexpr int ClientWidth = 586;
constexpr int ClientHeight = 220;
constexpr int BarWidth = 553;
constexpr int RefreshMs = 50;
constexpr int StartDelayMs = 100;

std::int64_t steadyMilliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

bool TfrmRunProfile::RunProfile(TSettings& settings, bool unattended) {
    return runProfileEntry(settings, unattended, [](TSettings& profile, bool quiet) {
        TfrmRunProfile window(profile, quiet);
        window.exec();
        return window.engine().Outcome();
    });
}

TfrmRunProfile::TfrmRunProfile(TSettings& settings, bool unattended, RunEnvironment environment,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName("frmRunProfile");
    setWindowTitle("Run Profile");
    setFixedSize(ClientWidth, ClientHeight);

    gbProfile = new QGroupBox("Profile Name", this);
    gbProfile->setObjectName("gbProfile");
    gbProfile->setGeometry(4, 2, ClientWidth - 8, ClientHeight - 6);

    Label3 = new QLabel("Last run", gbProfile);
    Label3->setObjectName("Label3");
    Label3->setGeometry(12, 26, 60, 21);

    edtLastRun = new QLineEdit(gbProfile);
    edtLastRun->setObjectName("edtLastRun");
    edtLastRun->setReadOnly(true);
    edtLastRun->setFocusPolicy(Qt::NoFocus);
    edtLastRun->setGeometry(76, 24, 217, 23);

    edtStatus = new QLabel("Preparing to execute...", gbProfile);
    edtStatus->setObjectName("edtStatus");
    edtStatus->setGeometry(12, 56, BarWidth, 18);

    jpbStep = new QProgressBar(gbProfile);
    jpbStep->setObjectName("jpbStep");
    jpbStep->setRange(0, 7);
    jpbStep->setValue(0);
    jpbStep->setTextVisible(false);
    jpbStep->setGeometry(12, 78, BarWidth, 16);

    lFilename = new QLabel(gbProfile);
    lFilename->setObjectName("lFilename");
    lFilename->setGeometry(12, 100, BarWidth, 18);
    lFilename->setFixedWidth(BarWidth);
    lFilename->setTextFormat(Qt::PlainText);

    jpbHashing = new QProgressBar(gbProfile);
    jpbHashing->setObjectName("jpbHashing");
    jpbHashing->setRange(0, 1);
    jpbHashing->setValue(0);
    jpbHashing->setTextVisible(false);
    jpbHashing->setGeometry(12, 124, BarWidth, 16);

    bAbort = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), "Abort", gbProfile);
    bAbort->setObjectName("bAbort");
    bAbort->setDefault(true);
    bAbort->setEnabled(false);
    bAbort->setGeometry((ClientWidth - 8 - 90) / 2, 160, 90, 30);
    connect(bAbort, &QPushButton::clicked, this, &TfrmRunProfile::bAbortClick);

    AutoRunTimer = new QTimer(this);
    AutoRunTimer->setObjectName("AutoRunTimer");
    AutoRunTimer->setInterval(StartDelayMs);
    AutoRunTimer->setSingleShot(true);
    connect(AutoRunTimer, &QTimer::timeout, this, &TfrmRunProfile::AutoRunTimerTimer);

    RefreshTimer = new QTimer(this);
    RefreshTimer->setObjectName("RefreshTimer");
    RefreshTimer->setSingleShot(true);
    connect(RefreshTimer, &QTimer::timeout, this, [this] {
        refresh();
        m_lastRefresh = m_clockMs();
    });
    m_clockMs = steadyMilliseconds;

    m_ui = environment.ui ? environment.ui : currentUiServices();
    m_engine = std::make_unique<RunEngine>(settings, unattended, static_cast<RunProgress*>(this),
                                           std::move(environment));
    setWindowTitle("Run Profile: " + qtText(m_engine->ProfileName()));
}

TfrmRunProfile::~TfrmRunProfile() {
    if (m_cursorShown)
        QApplication::restoreOverrideCursor();
}

void TfrmRunProfile::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen(); screen != nullptr && !event->spontaneous()) {
        const QRect area = screen->availableGeometry();
        const ScreenPoint at =
            centredInWorkArea({area.left(), area.top(), area.width(), area.height()}, width(), height());
        move(at.x, at.y);
    }
    if (!m_engine->Started() && !AutoRunTimer->isActive()) // nobody waits to see a window without a display
        AutoRunTimer->start(isHeadlessSession() ? 0 : StartDelayMs);
}

void TfrmRunProfile::AutoRunTimerTimer() {
    AutoRunTimer->stop();
    setResult(QDialog::Rejected); // the window closes when the run ends, whatever happens in it
    try {
        m_engine->Run();
    } catch (const std::exception& error) {
        if (m_ui != nullptr)
            showError(*m_ui, error.what());
    }
    done(QDialog::Rejected);
}

void TfrmRunProfile::bAbortClick() {
    if (m_engine->Running())
        m_engine->RequestAbort();
}

void TfrmRunProfile::closeEvent(QCloseEvent* event) {
    if (m_engine->Running()) {
        // The run cannot be left behind without a window to abort it: closing asks to abort instead.
        event->ignore();
        m_engine->RequestAbort();
        return;
    }
    AutoRunTimer->stop();
    QDialog::closeEvent(event);
}

void TfrmRunProfile::reject() {
    if (m_engine->Running()) {
        m_engine->RequestAbort();
        return;
    }
    AutoRunTimer->stop();
    QDialog::reject();
}

void TfrmRunProfile::runStarted(std::string_view profileName, std::string_view lastRun) {
    gbProfile->setTitle(qtText(profileName));
    edtLastRun->setText(qtText(lastRun));
}

void TfrmRunProfile::setStatus(std::string_view text) {
    edtStatus->setText(qtText(text));
}

void TfrmRunProfile::setActive(bool active) {
    bAbort->setEnabled(active);
    m_lastRefresh = -1; // the next poll draws and serves events at once
    if (active && !m_cursorShown) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_cursorShown = true;
    } else if (!active && m_cursorShown) {
        QApplication::restoreOverrideCursor();
        m_cursorShown = false;
    }
}

void TfrmRunProfile::stepPhase() {
    jpbStep->setValue(std::min(jpbStep->value() + 1, jpbStep->maximum()));
}

void TfrmRunProfile::setFileRange(int maximum) {
    jpbHashing->setRange(0, maximum > 0 ? maximum : 1); // a range of 0 to 0 would show a busy bar
}

void TfrmRunProfile::setFilePosition(int position) {
    m_filePosition = position;
    if (position == 0)
        jpbHashing->setValue(0);
}

void TfrmRunProfile::setFileName(std::string_view name) {
    m_fileName.assign(name);
    if (name.empty())
        lFilename->clear();
}

void TfrmRunProfile::setFileNameVisible(bool visible) {
    lFilename->setVisible(visible);
}

void TfrmRunProfile::refresh() {
    const QString text = qtText(m_fileName);
    lFilename->setText(lFilename->fontMetrics().elidedText(text, Qt::ElideMiddle, lFilename->width()));
    jpbHashing->setValue(std::min(m_filePosition, jpbHashing->maximum()));
}

bool TfrmRunProfile::processEvents() {
    if (m_lastRefresh >= 0) {
        const std::int64_t elapsed = m_clockMs() - m_lastRefresh;
        if (elapsed >= 0 && elapsed < RefreshMs) {
            if (!RefreshTimer->isActive())
                RefreshTimer->start(static_cast<int>(RefreshMs - elapsed));
            return false;
        }
    }
    RefreshTimer->stop();
    refresh();
    QCoreApplication::processEvents();
    m_lastRefresh = m_clockMs(); // after serving events, so that a long question box does not count
    return false;
}

bool TfrmRunProfile::pollsInsideFiles() const {
    return !m_engine->Unattended();
}

} // namespace halcyra
