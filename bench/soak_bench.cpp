// A soak run of the exported NV exchanges against the simulated card, with the card's faults
// mixed in: late replies, bad FCS, replies written a byte at a time, unrequested packets before
// and beside replies. Reports exchanges per second, the time of one exchange (p50, p99) and the
// resident memory after warm-up and at the end, which must not grow.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "cardsim/simulated_card.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"

namespace {

using namespace std::chrono_literals;

constexpr int kExchanges = 10000;
constexpr int kWarmUp = 1000;

// The receiver's 100 ms pauses (after a matched reply, after a failed read, after a close) take
// no time here, so the figures are the link's own cost; every other named duration is shortened
// by kScale (an NV wait lasts 100 ms, ample for a simulated card on this machine).
class PauseFreeClock : public carvex::ScaledClock {
  public:
    static constexpr int kScale = 40;
    PauseFreeClock() : ScaledClock(kScale) {}
    Duration Real(Duration named) const override {
        return named == std::chrono::milliseconds(100) ? Duration::zero()
                                                       : ScaledClock::Real(named);
    }
};

long ResidentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The fault of exchange n: most exchanges run clean, some meet one fault of each kind.
std::optional<cardsim::Fault> FaultFor(int n) {
    using Kind = cardsim::Fault::Kind;
    if (n % 199 == 0) {
        return cardsim::Fault::Make(Kind::kBadFcs, 0, 1);  // lost: the attempt times out
    }
    if (n % 11 == 0) {
        return cardsim::Fault::Make(Kind::kLateReply, 3, 1);
    }
    if (n % 7 == 0) {
        return cardsim::Fault::Make(Kind::kSplit, 0, 1);
    }
    if (n % 5 == 0) {
        return cardsim::Fault::Make(Kind::kUnsolicited, 0, 1);
    }
    if (n % 3 == 0) {
        return cardsim::Fault::Make(Kind::kBatch, 0, 1);
    }
    return std::nullopt;
}

void BM_NvSoak(benchmark::State& state) {
    carvex::ScopedClock clock(std::make_shared<PauseFreeClock>());
    cardsim::SimulatedCard::Options options;
    options.profile = cardsim::LoadProfile(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
    cardsim::SimulatedCard card(std::move(options));
    carvex::SetEnvironmentValue("CARVEX_ROOT", card.Root().Path().string());
    if (InitCommPort() != 1) {
        state.SkipWithError("cannot open the simulated card");
        return;
    }
    // Filled in place, so the measurement's own pages are resident before the warm-up reading.
    std::vector<double> micros(kExchanges, 0.0);
    long warm_kb = 0;
    int failed = 0;
    std::vector<uint8_t> buffer(128);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (int n = 1; n <= kExchanges; ++n) {
            const auto fault = FaultFor(n);
            const bool write = n % 2 == 0;
            if (fault) {
                card.SetFault(write ? cardsim::Command::kNvWrite : cardsim::Command::kNvRead,
                              *fault);
            }
            buffer[0] = static_cast<uint8_t>(n);
            int32_t status = 0;
            const auto begin = std::chrono::steady_clock::now();
            const int32_t ok = write ? CarvexItem(50031, buffer.data(), 4)
                                     : ReadNvItem(50030, buffer.data(), 128, &status);
            micros[n - 1] =
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begin)
                    .count();
            failed += ok != 1;
            if (n % 100 == 0) {
                card.ClearRequests();  // the simulator's record of requests is not the library's
            }
            if (n == kWarmUp) {
                warm_kb = ResidentKilobytes();
            }
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    CloseCommPort();
    std::sort(micros.begin(), micros.end());
    const double total_s = std::accumulate(micros.begin(), micros.end(), 0.0) / 1e6;
    state.counters["exchanges_per_s"] = kExchanges / total_s;
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["failed"] = failed;
    state.counters["rss_warm_kB"] = static_cast<double>(warm_kb);
    state.counters["rss_end_kB"] = static_cast<double>(ResidentKilobytes());
}

BENCHMARK(BM_NvSoak)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
