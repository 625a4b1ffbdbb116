// carvexctl apply on eight simulated cards against apply on one, in the same repetition and on
// the real clock (the cards' own timings: DIAG switches, replies, the backup, the restart): the
// eight are worked at once, each on its own connection, so the whole should take little longer
// than one card alone. The time reported is the eight's; the counter `ratio` is the eight's
// against the one's (the aim: within 1.3 times), `peak_rss_kib` carvexctl's peak memory for
// eight.
//
// Each card's time moves by up to a second with every model query (the modem is polled on whole
// seconds), and eight cards wait for the slowest: repetitions vary, so several are run and the
// median ratio is the result (three repetitions of about 45 s).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/card_work_bench.h"
#include "tests/support/temp_dir.h"

namespace {

double LoadAverage() {
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

void BM_ApplyEightAgainstOne(benchmark::State& state) {
    const testsupport::TempDir folder;
    const auto settings = cardbench::WriteBenchSettingFile(folder.Path());
    const double load_before = LoadAverage();
    int round = 0;
    for (auto _ : state) {
        const auto here = folder.Path() / std::to_string(++round);
        const auto one = cardbench::ApplyOnCards(1, settings, here / "one");
        const auto eight = cardbench::ApplyOnCards(8, settings, here / "eight");
        if (one.exit_code != 0 || eight.exit_code != 0) {
            state.SkipWithError("an apply failed");
            break;
        }
        state.SetIterationTime(eight.seconds);
        state.counters["one_card_s"] = one.seconds;
        state.counters["ratio"] = eight.seconds / one.seconds;
        state.counters["peak_rss_kib"] = static_cast<double>(eight.peak_kib);
    }
    state.counters["load_before"] = load_before;
}
BENCHMARK(BM_ApplyEightAgainstOne)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
