// The desktop program's main window with 1,000 profiles (offscreen): loading the profile list with and
// without the window, and creating and showing the window until its list is loaded. Before the benchmarks
// the first start of this process is timed once: toolkit start-up, then the window created, shown and filled.
//
// Settings, data and scheduled tasks go to a temporary folder; the crontab is held in memory while the
// cron daemon is looked for among the real processes, as each task listing does.
#include "base/Paths.h"
#include "platform/CrontabBackend.h"
#include "scheduling/MsTaskUtils.h"
#include "settings/Settings.h"
#include "shell/MainForm.h"
#include "shell/ProfileList.h"
#include "shell/ProfileListModel.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using namespace halcyra;
using Stopwatch = std::chrono::steady_clock;

constexpr int kProfiles = 1000;
constexpr int kScheduled = 50;

class BenchCrontab : public FakeCrontabBackend {
public:
    bool daemonRunning() override { return m_real.daemonRunning(); }

private:
    CommandCrontabBackend m_real;
};

// 1,000 ordinary profiles with a last run and result; every 20th has a scheduled task of its own.
void makeProfiles() {
    SchedulerSetup setup = defaultSchedulerSetup();
    setup.crontab = std::make_shared<BenchCrontab>();
    setSchedulerSetup(setup);
    const std::string root(SettingsRootKey);
    char name[32];
    for (int i = 0; i < kProfiles; ++i) {
        std::snprintf(name, sizeof name, "Profile %04d", (i * 7919) % kProfiles);
        TSettings profile(root + "\\" + name);
        profile.WriteString("ProfileType", "1");
        profile.WriteString("Source", "/srv/data");
        profile.WriteString("LastRun", "2024-05-01 09:00:00");
        profile.WriteString("LastResult", i % 3 == 0 ? "Changes" : "No Changes");
        if (i % (kProfiles / kScheduled) == 0) {
            bool needAccount = false;
            CreateTask(std::string("Task ") + name, programPath(), "\"" + std::string(name) + "\"", "/",
                       needAccount);
        }
    }
}

void LoadProfileList(benchmark::State& state) {
    TSettings root(SettingsRootKey);
    for (auto _ : state) {
        ProfileListLoad load = loadProfileList(root, listedScheduleTexts());
        sortProfileRows(load.rows, {2, false});
        benchmark::DoNotOptimize(load.rows.data());
    }
}
BENCHMARK(LoadProfileList)->Unit(benchmark::kMillisecond);

void RefreshProfiles(benchmark::State& state) {
    TfrmMain window;
    window.show();
    QCoreApplication::processEvents();
    window.SelectProfiles({"Profile 0500"});
    for (auto _ : state) {
        window.RefreshProfiles();
        QCoreApplication::processEvents(); // paints the list
    }
    if (window.Profiles().rowCount() != kProfiles)
        state.SkipWithError("the list is incomplete");
}
BENCHMARK(RefreshProfiles)->Unit(benchmark::kMillisecond);

// Creates the window and shows it until its first showing has loaded the list and the list is painted.
double showWindowOnce() {
    const auto start = Stopwatch::now();
    TfrmMain window;
    window.show();
    while (window.Profiles().rowCount() == 0)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count();
}

void WindowShown(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(showWindowOnce());
}
BENCHMARK(WindowShown)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    char pattern[] = "/tmp/halcyra-shell-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 2;
    const std::string home = pattern;
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    makeProfiles();

    const int result = 0;
    {
        const auto start = Stopwatch::now();
        int qtArgc = 1;
        QApplication application(qtArgc, argv);
        const double toolkit = std::chrono::duration<double, std::milli>(Stopwatch::now() - start).count();
        const double window = showWindowOnce();
        std::printf("first start: toolkit %.1f ms, window created, shown and filled %.1f ms, total %.1f ms\n",
                    toolkit, window, toolkit + window);
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    std::filesystem::remove_all(home);
    return result;
}
