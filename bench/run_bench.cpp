// Times whole profile runs through the run engine, unattended, with nothing shown.
//
//   run_bench init TREE        makes the profile "Bench" on TREE (whole tree, no log opened) and runs it
//                              once, which stores every file as its baseline
//   run_bench run [REPS]       runs "Bench" REPS times (default 1); prints each time and fails unless
//                              every run ends "No Changes"
//
// The settings and data folders are those of XDG_CONFIG_HOME and XDG_DATA_HOME; run_tree.sh points them
// at a folder of its own.
#include "detection/FileSettings.h"
#include "detection/RunEngine.h"
#include "platform/UiServices.h"
#include "settings/Settings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace halcyra;
using Stopwatch = std::chrono::steady_clock;

namespace {

const std::string ProfileKey = std::string(SettingsRootKey) + "\\Bench";

// Runs the profile once; prints its time and outcome. False when a message was shown.
bool runOnce(const char* label, std::string* lastResult) {
    ScriptedUiServices ui;
    RunEnvironment environment;
    environment.ui = &ui;
    TSettings settings(ProfileKey);
    const auto start = Stopwatch::now();
    RunEngine engine(settings, true, nullptr, environment);
    engine.Run();
    const double elapsed = std::chrono::duration<double>(Stopwatch::now() - start).count();
    *lastResult = settings.ReadString("LastResult");
    const RunCounts& counts = engine.Counts();
    std::printf("%-6s %8.4f s  files %zu  changed %d  LastResult \"%s\"\n", label, elapsed,
                engine.FileList() ? engine.FileList()->size() : 0, counts.AllChanged, lastResult->c_str());
    for (const auto& request : ui.requests())
        std::fprintf(stderr, "message: %s\n", request.text.c_str());
    return ui.requests().empty();
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    std::string lastResult;
    if (mode == "init" && argc == 3) {
        TSettings settings(ProfileKey);
        settings.DeleteSubKey({});
        settings.WriteString("ProfileType", "1");
        settings.WriteString("Source", argv[2]);
        settings.WriteString("Recursive", "Y");
        settings.WriteString("DisplayLog", "N");
        std::remove(TFileSettings::ResultsFileName("Bench").c_str()); // the run stores a fresh baseline
        return runOnce("init", &lastResult) && lastResult == "Changes" ? 0 : 1;
    }
    if (mode == "run" && argc <= 3) {
        const int reps = argc == 3 ? std::max(1, std::atoi(argv[2])) : 1;
        bool ok = true;
        for (int i = 0; i < reps; ++i)
            ok = runOnce("run", &lastResult) && lastResult == "No Changes" && ok;
        return ok ? 0 : 1;
    }
    std::fprintf(stderr, "usage: run_bench init TREE | run_bench run [REPS]\n");
    return 2;
}
