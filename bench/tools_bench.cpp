// The hash tool windows, offscreen, driven as a person would (folder answered by scripted UI services):
//
//   tools_bench hashed TREE    MD5 values window, Directory pass over TREE
//   tools_bench dupes TREE     duplicate finder, Directory pass over TREE (hash, sort, group)
//   tools_bench abort FILE     MD5 values window hashing one large FILE; Abort pressed after 300 ms
//
// Prints the wall time of the pass (from the folder answer to the idle window), the rows shown, and the
// longest time the window went without serving its events while the pass ran.
#include "platform/UiServices.h"
#include "tools/DupeFiles.h"
#include "tools/HashedFiles.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

using namespace halcyra;
using Stopwatch = std::chrono::steady_clock;

double msSince(Stopwatch::time_point start) {
    return std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count();
}

// Records the longest gap between ticks of a 2 ms timer: how long the window kept its events waiting,
// over the whole action and over the part while its progress bar shows (the listing and the hashing).
class EventGap {
public:
    explicit EventGap(const QWidget* progress) {
        m_timer.setInterval(2);
        QObject::connect(&m_timer, &QTimer::timeout, [this, progress] {
            const auto now = Stopwatch::now();
            if (m_ticked) {
                const double gap = std::chrono::duration<double, std::milli>(now - m_last).count();
                m_longest = std::max(m_longest, gap);
                if (!progress->isHidden())
                    m_longestBusy = std::max(m_longestBusy, gap);
            }
            m_last = now;
            m_ticked = true;
        });
        m_timer.start();
    }
    double longestMs() const { return m_longest; }
    double longestBusyMs() const { return m_longestBusy; }

private:
    QTimer m_timer;
    Stopwatch::time_point m_last;
    bool m_ticked = false;
    double m_longest = 0;
    double m_longestBusy = 0;
};

int usage() {
    std::fprintf(stderr, "usage: tools_bench hashed|dupes TREE | abort FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return usage();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const std::string mode = argv[1];
    const std::string target = argv[2];
    ScriptedUiServices ui;
    setCurrentUiServices(&ui);
    ui.queueText(target);
    ui.queueButton(ButtonOk); // "Aborted!" or a note

    std::unique_ptr<HashToolWindow> window;
    if (mode == "hashed" || mode == "abort")
        window = std::make_unique<TfrmHashedFiles>();
    else if (mode == "dupes")
        window = std::make_unique<TfrmDupeFiles>();
    else
        return usage();

    Stopwatch::time_point pressed{};
    if (mode == "abort")
        QTimer::singleShot(300, [&] {
            pressed = Stopwatch::now();
            window->bAbort->click();
        });
    EventGap gap(window->ProgressBar);
    const auto start = Stopwatch::now();
    if (mode == "abort")
        window->aFilesExecute();
    else
        window->aDirectoryExecute();
    const double total = msSince(start);
    if (mode == "abort") {
        std::printf("abort answered after %.1f ms (pass %.1f ms), longest event gap %.1f ms while hashing\n",
                    msSince(pressed), total, gap.longestBusyMs());
        return 0;
    }
    std::printf("%s %.3f s, %d rows, longest event gap %.1f ms while listing and hashing, %.1f ms in all\n",
                mode.c_str(), total / 1000, window->model().rowCount(), gap.longestBusyMs(), gap.longestMs());
    return 0;
}
