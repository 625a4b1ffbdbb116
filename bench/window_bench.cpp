// The window's work that grows with the description: the pages of n items built anew with a
// stored solution's values shown in them (a Read with that solution current), and a stored
// solution of n values loaded into pages already built (offscreen Qt). Each runs through the
// presenter and ends when the window shows what the command did.
#include <benchmark/benchmark.h>

#include <memory>
#include <sstream>

#include "app/main_unit.h"
#include "bench/generated_description.h"
#include "bench/window_driver.h"
#include "cardwork/card/library_card.h"
#include "tests/support/temp_dir.h"

namespace {

// A window over the generated description, its start-up over: the stored solution is current,
// so no card is asked.
struct Window {
    explicit Window(int items) {
        benchsupport::WriteDescription(dir.Path() / "Config_Info.ini", items);
        benchsupport::WriteSolution(dir.Path() / "config_value.ini", items);
        window = std::make_unique<cardwright::TMainFrm>(QString::fromStdString(dir.Path().string()),
                                                        card, &opening);
        benchsupport::Settle(*window, answers);
    }
    testsupport::TempDir dir;
    cardwright::LibraryCard card;
    std::ostringstream opening;
    testsupport::DialogAnswers answers;
    std::unique_ptr<cardwright::TMainFrm> window;
};

void BM_BuildPages(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        w.window->Presenter().Read();
        benchsupport::Settle(*w.window, w.answers);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildPages)->Arg(200)->Arg(400)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadStoredSolution(benchmark::State& state) {
    Window w(static_cast<int>(state.range(0)));
    // The chooser lists DEFAULT, then Stored.
    for (auto _ : state) {
        if (!w.window->Presenter().ChooseSolution(1)) {
            state.SkipWithError("the solution's load was refused");
            return;
        }
        benchsupport::Settle(*w.window, w.answers);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LoadStoredSolution)->Arg(200)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
