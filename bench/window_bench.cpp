// The window's work that grows with the description: building the pages of n items, and
// loading a stored solution of n values into them (offscreen Qt).
#include <benchmark/benchmark.h>

#include <QTimer>
#include <memory>

#include "app/main_unit.h"
#include "bench/generated_description.h"
#include "tests/support/temp_dir.h"

namespace {

struct Window {
    explicit Window(int items) {
        benchsupport::WriteDescription(dir.Path() / "Config_Info.ini", items);
        benchsupport::WriteSolution(dir.Path() / "config_value.ini", items);
        window = std::make_unique<cardwright::TMainFrm>(
            QString::fromStdString(dir.Path().string()),
            std::make_unique<cardwright::ConsolePrompts>());
        window->Timer1->stop();
    }
    testsupport::TempDir dir;
    std::unique_ptr<cardwright::TMainFrm> window;
};

void BM_BuildPages(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        w.window->FreeItemsAndControls();
        state.ResumeTiming();
        w.window->BuildConfigPages();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildPages)->Arg(200)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadStoredSolution(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    w.window->BuildConfigPages();
    for (auto _ : state) {
        if (!w.window->LoadItemValues("Stored")) {
            state.SkipWithError("the solution did not load");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadStoredSolution)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
