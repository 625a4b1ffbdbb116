// carvexctl station with eight simulated cards plugged in one second apart, on the real clock
// (the cards' own timings), against apply on one card alone. The time reported is the whole,
// from the first plug to the last pass; the counters: `worst_card_ratio`, the slowest card's
// time from its plug to its pass against one card's apply (the aim: within 1.1 times);
// `whole_ratio`, the whole against one card plus the seven seconds of plugging (the aim: within
// 1.3 times); the cards per hour the eight slots came to (`cards_per_hour`) and would come to
// with every slot kept full (`cards_per_hour_full`); the station's peak resident memory.
#include <signal.h>

#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/card_work_bench.h"
#include "cardwork/json/json_document.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCards = 8;
constexpr std::chrono::seconds kPlugApart{1};

long PeakResidentKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmHWM:")) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

struct StationRun {
    std::vector<double> card_seconds;  // plug to pass, in the order plugged
    double whole = 0;                  // first plug to last pass
    long peak_kib = 0;
    bool all_ok = true;
};

// Eight cards plugged one second apart into a running station.
StationRun EightCardsIntoAStation(const fs::path& settings, const fs::path& folder) {
    cardsim::CardBench bench(cardbench::CardOptions(1, folder));
    bench.Unplug(1);  // the first card is plugged in with the others, once the station runs
    testsupport::RunningProgram station(CARVEXCTL,
                                        {"station", settings.string(), "--description",
                                         (cardbench::kExamples / "Config_Info.ini").string(),
                                         "--records", (folder / "records.db").string(), "--json"},
                                        cardbench::CardEnvironment(bench, folder));
    if (!station.ReadLine(std::chrono::seconds(30))) {  // "watching ..."
        throw std::runtime_error("the station did not start");
    }

    std::mutex mutex;
    std::map<std::string, Clock::time_point> passed;  // by slot
    bool ok = true;
    std::thread reader([&] {
        while (true) {
            const auto line = station.ReadLine(std::chrono::minutes(5));
            if (!line) {
                return;
            }
            const auto event = cardwright::ParseJson(*line);
            if (!event.value || (*event.value)["event"] != "card") {
                continue;
            }
            const std::lock_guard lock(mutex);
            passed[(*event.value)["slot"].get<std::string>()] = Clock::now();
            ok = ok && (*event.value)["result"] == "ok";
            if (passed.size() == kCards) {
                return;
            }
        }
    });

    std::vector<std::pair<std::string, Clock::time_point>> plugged;
    const auto first = Clock::now();
    for (int card = 1; card <= kCards; ++card) {
        std::this_thread::sleep_until(first + (card - 1) * kPlugApart);
        const int number = card == 1 ? (bench.Replug(1), 1) : bench.Plug({});
        plugged.emplace_back("COM" + std::to_string(bench.StatusOf(number).pcui_port),
                             Clock::now());
    }
    reader.join();
    StationRun run;
    run.peak_kib = PeakResidentKib(station.Pid());
    ::kill(station.Pid(), SIGTERM);
    station.Wait();
    const std::lock_guard lock(mutex);
    run.all_ok = ok && passed.size() == kCards;
    Clock::time_point last = first;
    for (const auto& [slot, at] : plugged) {
        const auto done = passed.find(slot);
        if (done == passed.end()) {
            run.all_ok = false;
            continue;
        }
        run.card_seconds.push_back(std::chrono::duration<double>(done->second - at).count());
        last = std::max(last, done->second);
    }
    run.whole = std::chrono::duration<double>(last - first).count();
    return run;
}

void BM_EightCardsIntoAStation(benchmark::State& state) {
    const testsupport::TempDir folder;
    const auto settings = cardbench::WriteBenchSettingFile(folder.Path());
    int round = 0;
    for (auto _ : state) {
        const auto here = folder.Path() / std::to_string(++round);
        const auto alone = cardbench::ApplyOnCards(1, settings, here / "apply");
        if (alone.exit_code != 0) {
            state.SkipWithError("apply on one card failed");
            break;
        }
        StationRun run;
        try {
            run = EightCardsIntoAStation(settings, here / "station");
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
        if (!run.all_ok) {
            state.SkipWithError("a card did not pass");
            break;
        }
        const double worst = *std::max_element(run.card_seconds.begin(), run.card_seconds.end());
        const double plugging = static_cast<double>((kCards - 1) * kPlugApart.count());
        state.SetIterationTime(run.whole);
        state.counters["apply_alone_s"] = alone.seconds;
        state.counters["worst_card_ratio"] = worst / alone.seconds;
        state.counters["whole_ratio"] = run.whole / (alone.seconds + plugging);
        state.counters["cards_per_hour"] = kCards * 3600.0 / run.whole;
        state.counters["cards_per_hour_full"] = kCards * 3600.0 / worst;
        state.counters["peak_rss_kib"] = static_cast<double>(run.peak_kib);
    }
}
BENCHMARK(BM_EightCardsIntoAStation)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
