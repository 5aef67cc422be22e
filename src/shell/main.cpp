// The desktop program: the main window, and the command line that runs profiles without the user.
#include "detection/ResultsDisplay.h"
#include "platform/EjectBackend.h"
#include "platform/HeadlessUiServices.h"
#include "platform/QtUiServices.h"
#include "platform/UDisks2EjectBackend.h"
#include "scheduling/TaskPropertiesDialog.h"
#include "shell/CommandLine.h"
#include "shell/MainForm.h"
#include "shell/ProfileHousekeeping.h"
#include "shell/ProgramIcon.h"

#include <QApplication>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace halcyra;

namespace {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The disk service backend, connected to the system bus on the first eject only, so that starting the
// program never waits for the bus.
class DeferredUDisks2Backend : public EjectBackend {
public:
    bool unmount(const std::string& deviceNode, const std::string& mountPoint) override {
        return backend().unmount(deviceNode, mountPoint);
    }
    bool eject(const std::string& deviceNode) override { return backend().eject(deviceNode); }

private:
    EjectBackend& backend() {
        if (!m_backend)
            m_backend = std::make_unique<UDisks2EjectBackend>();
        return *m_backend;
    }
    std::unique_ptr<UDisks2EjectBackend> m_backend;
};

// The toolkit's own messages while it starts, held back until it is known whether a display was opened:
// without one they are dropped, since a run without a display reports on standard error and remarks about
// a display that could not be opened would only bury the program's own messages there.
class StartMessages {
public:
    StartMessages() : m_previous(qInstallMessageHandler(&StartMessages::hold)) { s_held = this; }
    ~StartMessages() { s_held = nullptr; }
    StartMessages(const StartMessages&) = delete;
    StartMessages& operator=(const StartMessages&) = delete;

    // With a display, the held messages go where they would have gone and the toolkit's handler is back;
    // without one, only critical messages reach standard error, now and later.
    void release(bool headless) {
        if (headless) {
            qInstallMessageHandler(&StartMessages::criticalOnly);
            for (const Held& held : m_messages)
                criticalOnly(held.type, {}, held.text);
        } else {
            qInstallMessageHandler(m_previous);
            for (const Held& held : m_messages) {
                const QMessageLogContext context(nullptr, 0, nullptr, held.category.c_str());
                if (m_previous != nullptr)
                    m_previous(held.type, context, held.text);
            }
        }
        m_messages.clear();
    }

private:
    struct Held {
        QtMsgType type;
        std::string category;
        QString text;
    };

    static void hold(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type == QtFatalMsg) // the toolkit ends the program after this message
            std::cerr << message.toStdString() << std::endl;
        else if (s_held != nullptr)
            s_held->m_messages.push_back({type, context.category ? context.category : "", message});
    }
    static void criticalOnly(QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::cerr << message.toStdString() << std::endl;
    }

    static inline StartMessages* s_held = nullptr;
    QtMessageHandler m_previous;
    std::vector<Held> m_messages;
};

} // namespace

int main(int argc, char** argv) {
    // A write past the file-size limit must fail with EFBIG and be reported like every other failed
    // write, not end the process with its temporaries and locks left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // The words are the program's own: Qt sees none of them, so a profile named like a Qt option
    // ("-style", "-reverse") reaches the command line unchanged.
    const std::vector<std::string> parameters(argv + (argc > 0 ? 1 : 0), argv + argc);

    StartEnvironment environment;
    environment.hasParameters = !parameters.empty();
    environment.display = environmentValue("DISPLAY");
    environment.waylandDisplay = environmentValue("WAYLAND_DISPLAY");
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"))
        environment.qtPlatform = platform;
    const StartPlan plan = planStart(environment);
    if (plan.refuse) {
        std::cerr << NoDisplayText << std::endl;
        return 1;
    }
    if (plan.qtPlatform)
        setenv("QT_QPA_PLATFORM", plan.qtPlatform->c_str(), 1);
    StartMessages startMessages;

    int qtArgc = 1;
    char programName[] = "Halcyra";
    char* qtArgv[] = {argc > 0 ? argv[0] : programName, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName("Halcyra");
    QApplication::setWindowIcon(programIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    const bool headless = isHeadlessPlatform(QGuiApplication::platformName().toStdString());
    startMessages.release(headless);
    if (headless && parameters.empty()) {
        std::cerr << NoDisplayText << std::endl;
        return 1;
    }
    QtUiServices desktopUi;
    HeadlessUiServices headlessUi;
    setHeadlessSession(headless);
    setCurrentUiServices(headless ? static_cast<UiServices*>(&headlessUi) : &desktopUi);
    installDifferencesDialog();
    installTaskPropertiesEditor();
    recoverInterruptedHousekeeping(*currentUiServices());
    restoreScheduledTasksAtStart();
    DeferredUDisks2Backend ejectBackend;
    setEjectBackend(&ejectBackend);

    int result = 0;
    {
        TfrmMain window(parameters);
        QObject::connect(&window, &TfrmMain::closed, &application, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        window.show();
        result = QApplication::exec();
        if (result == 0)
            result = window.ExitStatus();
    }
    setEjectBackend(nullptr);
    setCurrentUiServices(nullptr);
    return result;
}
