#pragma once

#include "detection/RunEngine.h"

#include <QDialog>

#include <cstdint>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace halcyra {

class TSettings;
class UiServices;

// The run window: shows one run of one ordinary profile while its RunEngine performs it. The run starts
// from a one-shot 100 ms timer once the window is shown (at once in a session without a display), and the
// window closes when the run ends, whatever its outcome. Closing the window while the run is in progress
// asks the abort question instead.
//
// Per-file work is drawn at most every 50 ms; an update the throttle holds back is drawn by RefreshTimer,
// so the window never shows a status or file name more than about 50 ms old while events are served. In
// an interactive run events are also served while one large file is hashed, so Abort is answered there.
class TfrmRunProfile : public QDialog, public RunProgress {
    Q_OBJECT

public:
    // Runs the profile whose key `settings` is bound to (a group: each member in a window of its own).
    // True when it ran to its end (see runProfileEntry). The caller keeps `settings`.
    static bool RunProfile(TSettings& settings, bool unattended);

    // Loads the profile's exclusion list (see RunEngine); null members of `environment` mean the real
    // services.
    TfrmRunProfile(TSettings& settings, bool unattended, RunEnvironment environment = {},
                   QWidget* parent = nullptr);
    ~TfrmRunProfile() override;

    bool Aborted() const { return m_engine->Aborted(); }
    const RunEngine& engine() const { return *m_engine; }

    QGroupBox* gbProfile = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* edtLastRun = nullptr;
    QLabel* edtStatus = nullptr;
    QProgressBar* jpbStep = nullptr;
    QLabel* lFilename = nullptr;
    QProgressBar* jpbHashing = nullptr;
    QPushButton* bAbort = nullptr;
    QTimer* AutoRunTimer = nullptr;
    QTimer* RefreshTimer = nullptr; // single shot: draws what the throttle held back

    // The milliseconds clock of the throttle (a steady clock unless replaced, for tests).
    void setRefreshClock(std::function<std::int64_t()> clock) { m_clockMs = std::move(clock); }

    // RunProgress
    void runStarted(std::string_view profileName, std::string_view lastRun) override;
    void setStatus(std::string_view text) override;
    void setActive(bool active) override;
    void stepPhase() override;
    void setFileRange(int maximum) override;
    void setFilePosition(int position) override;
    void setFileName(std::string_view name) override;
    void setFileNameVisible(bool visible) override;
    bool processEvents() override;
    bool pollsInsideFiles() const override;

public slots:
    // Performs the whole run, then closes the window.
    void AutoRunTimerTimer();
    void bAbortClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // Draws the latest file name and position.
    void refresh();

    UiServices* m_ui; // where failures are shown
    std::unique_ptr<RunEngine> m_engine;
    std::function<std::int64_t()> m_clockMs;
    std::int64_t m_lastRefresh = -1; // when per-file work was last drawn; -1: draw at the next poll
    std::string m_fileName;          // the latest name, drawn at the next refresh
    int m_filePosition = 0;
    bool m_cursorShown = false;
};

} // namespace halcyra
