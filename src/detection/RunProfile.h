#pragma once

#include "detection/RunEngine.h"

#include <QDialog>
#include <QElapsedTimer>

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
// from a one-shot 100 ms timer once the window is shown, and the window closes when the run ends,
// whatever its outcome. Closing the window while the run is in progress asks the abort question instead.
class TfrmRunProfile : public QDialog, private RunProgress {
    Q_OBJECT

public:
    // Runs the profile whose key `settings` is bound to (a group: each member in a window of its own).
    // The caller keeps `settings`.
    static void RunProfile(TSettings& settings, bool unattended);

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

public slots:
    // Performs the whole run, then closes the window.
    void AutoRunTimerTimer();
    void bAbortClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
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

    void showFileName();

    UiServices* m_ui; // where failures are shown
    std::unique_ptr<RunEngine> m_engine;
    QElapsedTimer m_sinceRefresh; // per-file work is drawn at most every 50 ms
    std::string m_fileName;       // the latest name, drawn at the next refresh
    int m_filePosition = 0;
    bool m_cursorShown = false;
};

} // namespace halcyra
