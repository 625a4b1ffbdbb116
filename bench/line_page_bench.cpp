// A card's time in a station whose line page is quiet, against the same with a crowd at the page:
// eight open event streams (the cap), a client sending its request a byte every half second, and
// 200 idle connections. On the real clock (the cards' own timings); the aim: the crowd changes a
// card's time by less than its own spread between repetitions. The time reported is the crowded
// card's; the counters: the quiet card's (`quiet_s`) and the ratio of the two (`ratio`), whose
// median over the repetitions is the result (two of about 40 s).
#include <signal.h>

#include <benchmark/benchmark.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/card_work_bench.h"
#include "cardwork/json/json_document.h"
#include "tests/line_page/http_client.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

[[noreturn]] void Fail(const std::string& why) {
    throw std::runtime_error(why);
}

// The clients that load the page's server while the card is worked; gone with the object.
class Crowd {
  public:
    explicit Crowd(uint16_t port) : slow_(port) {
        for (int tab = 0; tab < 8; ++tab) {
            tabs_.push_back(std::make_unique<linetest::EventStream>(port));
            if (!tabs_.back()->Next("snapshot", 10s)) {
                Fail("an event stream was not answered");
            }
        }
        slow_writer_ = std::thread([this] {
            const std::string request = "GET /api/slots HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: ";
            for (size_t i = 0; !done_; ++i) {
                if (!slow_.Send(std::string(1, i < request.size() ? request[i] : 'x')) ||
                    !slow_.Receive(500ms)) {
                    return;
                }
            }
        });
        for (int i = 0; i < 200; ++i) {
            idle_.push_back(std::make_unique<linetest::HttpConnection>(port));
        }
    }
    ~Crowd() {
        done_ = true;
        slow_writer_.join();
    }
    Crowd(const Crowd&) = delete;
    Crowd& operator=(const Crowd&) = delete;

  private:
    std::vector<std::unique_ptr<linetest::EventStream>> tabs_;
    linetest::HttpConnection slow_;
    std::atomic<bool> done_{false};
    std::thread slow_writer_;
    std::vector<std::unique_ptr<linetest::HttpConnection>> idle_;
};

// One card plugged into a station serving its page; from the plug to the card's end.
double OneCard(const fs::path& settings, const fs::path& folder, bool crowded) {
    cardsim::CardBench bench(cardbench::CardOptions(1, folder));
    bench.Unplug(1);
    testsupport::RunningProgram station(
        CARVEXCTL,
        {"station", settings.string(), "--description",
         (cardbench::kExamples / "Config_Info.ini").string(), "--records",
         (folder / "records.db").string(), "--json", "--http", "127.0.0.1:0"},
        cardbench::CardEnvironment(bench, folder));
    uint16_t port = 0;
    while (port == 0) {
        const auto line = station.ReadLine(30s);
        if (!line) {
            Fail("the station did not say where its page is");
        }
        const auto event = cardwright::ParseJson(*line);
        const std::string text = event.value ? event.value->value("text", "") : "";
        if (text.starts_with("the line page is at http://")) {
            port = static_cast<uint16_t>(std::stoi(text.substr(text.rfind(':') + 1)));
        }
    }
    std::unique_ptr<Crowd> crowd = crowded ? std::make_unique<Crowd>(port) : nullptr;
    const auto plugged = Clock::now();
    bench.Replug(1);
    for (;;) {
        const auto line = station.ReadLine(120s);
        if (!line) {
            Fail("the card did not end");
        }
        const auto event = cardwright::ParseJson(*line);
        if (event.value && (*event.value)["event"] == "card") {
            if ((*event.value)["result"] != "ok") {
                Fail("the card did not pass: " + line.value());
            }
            break;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - plugged).count();
    crowd.reset();
    ::kill(station.Pid(), SIGTERM);
    station.Wait();
    return seconds;
}

void BM_OneCardQuietAgainstCrowded(benchmark::State& state) {
    const testsupport::TempDir folder;
    const auto settings = cardbench::WriteBenchSettingFile(folder.Path());
    int round = 0;
    for (auto _ : state) {
        const auto here = folder.Path() / std::to_string(++round);
        try {
            const double quiet = OneCard(settings, here / "quiet", false);
            const double crowded = OneCard(settings, here / "crowded", true);
            state.SetIterationTime(crowded);
            state.counters["quiet_s"] = quiet;
            state.counters["ratio"] = crowded / quiet;
        } catch (const std::exception& error) {
            state.SkipWithError(error.what());
            break;
        }
    }
}
BENCHMARK(BM_OneCardQuietAgainstCrowded)
    ->Iterations(1)
    ->Repetitions(2)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
