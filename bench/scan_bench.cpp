// Times the folder-tree scanner and the results file.
//
//   scan_bench scan TREE [REPS]     scans TREE recursively in comparison mode into an empty list, no
//                                   hashing; prints the best and median wall time of REPS runs
//   scan_bench results [N] [REPS]   SaveResults then LoadResults of N entries in a temporary data folder
#include "detection/FileSettings.h"
#include "detection/TreeScan.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace halcyra;
using Stopwatch = std::chrono::steady_clock;

namespace {

double seconds(Stopwatch::time_point from) {
    return std::chrono::duration<double>(Stopwatch::now() - from).count();
}

void report(const char* what, std::vector<double> times, std::size_t items) {
    std::sort(times.begin(), times.end());
    const double best = times.front(), median = times[times.size() / 2];
    std::printf("%-14s best %8.4f s  median %8.4f s  (%zu items, %.0f items/s at best)\n", what, best, median,
                items, items / best);
}

int scan(const std::string& tree, int reps) {
    std::vector<double> times;
    std::size_t count = 0;
    for (int i = 0; i < reps; ++i) {
        CompareList list;
        const auto start = Stopwatch::now();
        TTreeScanner scanner(list);
        std::string error;
        if (!scanner.Scan(tree, true, error)) {
            std::fprintf(stderr, "scan failed: %s\n", error.c_str());
            return 1;
        }
        times.push_back(seconds(start));
        count = list.size();
    }
    report("scan", times, count);
    return 0;
}

int results(std::size_t entries, int reps) {
    std::string home = (std::filesystem::temp_directory_path() / "halcyra-results-bench-XXXXXX").string();
    if (mkdtemp(home.data()) == nullptr)
        return 1;
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    CompareList list;
    for (std::size_t i = 0; i < entries; ++i) {
        char key[64];
        std::snprintf(key, sizeof key, "/d%02zu/s%03zu/f%03zu.bin", i / 10000, i / 100 % 100, i % 100);
        auto& entry = list[key];
        entry.New = std::make_unique<TFileDetails>(
            TFileDetails{static_cast<std::int64_t>(1024 + i * 7 % 15000), "0123456789ABCDEF0123456789ABCDEF",
                         1700000000 + static_cast<std::int64_t>(i) * 2});
    }
    std::vector<double> saves, loads, both;
    std::size_t loaded = 0;
    for (int i = 0; i < reps; ++i) {
        std::string error;
        auto start = Stopwatch::now();
        TFileSettings::SaveResults("Bench", &list, false, error);
        saves.push_back(seconds(start));
        if (!error.empty()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        start = Stopwatch::now();
        {
            CompareList back;
            TFileSettings::LoadResults("Bench", nullptr, &back, error);
            loaded = back.size();
        }
        loads.push_back(seconds(start));
        both.push_back(saves.back() + loads.back());
        if (!error.empty() || loaded != entries) {
            std::fprintf(stderr, "load failed: %s\n", error.c_str());
            return 1;
        }
    }
    report("SaveResults", saves, entries);
    report("LoadResults", loads, loaded);
    report("save + load", both, entries);
    std::filesystem::remove_all(home);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "scan" && argc > 2)
        return scan(argv[2], argc > 3 ? std::atoi(argv[3]) : 5);
    if (mode == "results")
        return results(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100000,
                       argc > 3 ? std::atoi(argv[3]) : 5);
    std::fprintf(stderr, "usage: scan_bench scan TREE [REPS] | scan_bench results [N] [REPS]\n");
    return 2;
}
