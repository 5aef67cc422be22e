// Differences dialog on a large review: opening it (pages built, first page filled, columns fitted) and
// switching pages, with the widget-free model alone and with the window on the offscreen platform.
#include "detection/DifferencesModel.h"
#include "detection/ResultsDisplay.h"

#include <QApplication>
#include <QLineEdit>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

using namespace halcyra;

constexpr int kEntries = 200000;

// 200,000 changed files in 2,000 folders: size, date and contents changed.
CompareList& bigList() {
    static CompareList list = [] {
        CompareList made;
        char key[64];
        char hash[40];
        for (int i = 0; i < kEntries; ++i) {
            std::snprintf(key, sizeof key, "/folder%04d/document-%06d.txt", i % 2000, i);
            std::snprintf(hash, sizeof hash, "%032X", i);
            TFileCompare& entry = made[key];
            entry.Old = std::make_unique<TFileDetails>(TFileDetails{1000 + i, hash, 1700000000 + 2 * i});
            std::snprintf(hash, sizeof hash, "%032X", i + 7);
            entry.New = std::make_unique<TFileDetails>(TFileDetails{2000 + i, hash, 1710000000 + 2 * i});
            entry.Status = 7;
        }
        return made;
    }();
    return list;
}

void ModelOpen(benchmark::State& state) {
    CompareList& list = bigList();
    KeySet exclusions;
    for (auto _ : state) {
        DifferencesModel model(&list, &exclusions);
        model.buildPages();
        model.fillPage(1);
        benchmark::DoNotOptimize(model.rows().data());
    }
}
BENCHMARK(ModelOpen)->Unit(benchmark::kMillisecond);

void ModelPageSwitch(benchmark::State& state) {
    CompareList& list = bigList();
    KeySet exclusions;
    DifferencesModel model(&list, &exclusions);
    model.buildPages();
    int page = 1;
    for (auto _ : state) {
        page = page % model.pageCount() + 1;
        model.fillPage(page);
        benchmark::DoNotOptimize(model.rows().data());
    }
}
BENCHMARK(ModelPageSwitch)->Unit(benchmark::kMillisecond);

void DialogOpen(benchmark::State& state) {
    CompareList& list = bigList();
    KeySet exclusions;
    for (auto _ : state) {
        TfrmDifferences form;
        form.setLists(&list, &exclusions);
        form.show();
        QCoreApplication::processEvents(); // paints the first page
        benchmark::DoNotOptimize(form.model().rows().data());
        state.PauseTiming();
        form.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(DialogOpen)->Unit(benchmark::kMillisecond);

void DialogPageSwitch(benchmark::State& state) {
    CompareList& list = bigList();
    KeySet exclusions;
    TfrmDifferences form;
    form.setLists(&list, &exclusions);
    form.show();
    QCoreApplication::processEvents();
    auto* page = form.findChild<QLineEdit*>(QStringLiteral("ePage"));
    const int pages = form.model().pageCount();
    int next = 1;
    for (auto _ : state) {
        next = next % pages + 1;
        page->setText(QString::number(next));
        QCoreApplication::processEvents(); // paints the new page
    }
    form.hide();
}
BENCHMARK(DialogPageSwitch)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    bigList();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
