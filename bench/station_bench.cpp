// carvexctl station with eight simulated cards plugged in one second apart, on the real clock
// (the cards' own timings), against apply on one card alone: each card's time from its plug to
// its pass should be close to one card's apply (the aim: within 1.1 times), and the whole, from
// the first plug to the last pass, close to one card plus the seven seconds of plugging (within
// 1.3 times). Also the cards per hour the eight slots came to, and the station's peak resident
// memory.
//
//   station_bench [--rounds N]     (default 1; one round: apply on one card, then the station)
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cardsim/card_bench.h"
#include "cardsim/card_profile.h"
#include "cardwork/json/json_document.h"
#include "cardwork/model/setting_file.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kCards = 8;
constexpr std::chrono::seconds kPlugApart{1};

const fs::path kExamples = CARDWRIGHT_EXAMPLES_DIR;

cardsim::CardBench::Options BenchOptions(int cards, const fs::path& state) {
    cardsim::CardBench::Options options;
    options.profile = cardsim::LoadProfile(kExamples / "card.profile");
    options.cards = cards;
    options.state_file = state / "card.nv";
    return options;
}

// apply on one card, from start to end.
double ApplyOnOneCard(const fs::path& settings, const fs::path& folder) {
    cardsim::CardBench bench(BenchOptions(1, folder));
    const auto start = Clock::now();
    const auto run = testsupport::RunProgram(
        CARVEXCTL,
        {"apply", settings.string(), "--description", (kExamples / "Config_Info.ini").string(),
         "--records", (folder / "records.db").string()},
        {"CARVEX_ROOT=" + bench.Root().Path().string(), "XDG_STATE_HOME=" + folder.string()});
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (run.exit_code != 0) {
        std::fprintf(stderr, "station_bench: apply failed:\n%s", run.err.c_str());
        std::exit(1);
    }
    return seconds;
}

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
    cardsim::CardBench bench(BenchOptions(1, folder));
    bench.Unplug(1);  // the first card is plugged in with the others, once the station runs
    testsupport::RunningProgram station(
        CARVEXCTL,
        {"station", settings.string(), "--description", (kExamples / "Config_Info.ini").string(),
         "--records", (folder / "records.db").string(), "--json"},
        {"CARVEX_ROOT=" + bench.Root().Path().string(), "XDG_STATE_HOME=" + folder.string()});
    if (!station.ReadLine(std::chrono::seconds(30))) {  // "watching ..."
        std::fprintf(stderr, "station_bench: the station did not start\n");
        std::exit(1);
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

}  // namespace

int main(int argc, char** argv) {
    int rounds = 1;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: station_bench [--rounds N]\n");
        return 2;
    }
    const testsupport::TempDir folder;
    const fs::path settings = folder.Path() / "bench.ini";
    const auto written = cardwright::WriteSettingFile(
        settings, {"LW-X4201", false, {{"NETWORK_MODE", "13"}, {"ACQ_ORDER", "1"}}});
    if (!written.Ok()) {
        std::fprintf(stderr, "station_bench: %s\n", written.error.c_str());
        return 1;
    }
    bool all_ok = true;
    for (int round = 1; round <= rounds; ++round) {
        const fs::path here = folder.Path() / std::to_string(round);
        const double alone = ApplyOnOneCard(settings, here / "apply");
        const StationRun run = EightCardsIntoAStation(settings, here / "station");
        all_ok = all_ok && run.all_ok;
        std::printf("round %d: apply on one card alone %.2f s\n", round, alone);
        double worst = 0;
        for (size_t card = 0; card < run.card_seconds.size(); ++card) {
            worst = std::max(worst, run.card_seconds[card]);
            std::printf("  card %zu: plug to pass %.2f s (%.3f of apply alone)\n", card + 1,
                        run.card_seconds[card], run.card_seconds[card] / alone);
        }
        const double seven = static_cast<double>((kCards - 1) * kPlugApart.count());
        std::printf("  worst card: %.3f of apply alone (%s 1.1)\n", worst / alone,
                    worst / alone <= 1.1 ? "within" : "above");
        std::printf("  whole: %.2f s, %.3f of one card plus %.0f s (%s 1.3)\n", run.whole,
                    run.whole / (alone + seven), seven,
                    run.whole / (alone + seven) <= 1.3 ? "within" : "above");
        std::printf("  cards per hour at %d slots: %.0f (8 cards plugged one second apart); "
                    "%.0f with every slot kept full\n",
                    kCards, kCards * 3600.0 / run.whole, kCards * 3600.0 / worst);
        std::printf("  station peak resident memory: %ld KiB%s\n", run.peak_kib,
                    run.all_ok ? "" : "  (a card did not pass)");
    }
    return all_ok ? 0 : 1;
}
