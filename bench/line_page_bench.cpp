// A card's time in a station whose line page is quiet, against the same with a crowd at the page:
// eight open event streams (the cap), a client sending its request a byte every half second, and
// 200 idle connections. On the real clock (the cards' own timings); the aim: the crowd changes a
// card's time by less than its own round-to-round spread. A plain timed program.
//
//   line_page_bench [--rounds N]     (default 2; one round: quiet, then crowded; about 40 s)
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cardsim/card_bench.h"
#include "cardsim/card_profile.h"
#include "cardwork/json/json_document.h"
#include "cardwork/model/setting_file.h"
#include "tests/line_page/http_client.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const fs::path kExamples = CARDWRIGHT_EXAMPLES_DIR;

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "line_page_bench: %s\n", why.c_str());
    std::exit(1);
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
    cardsim::CardBench::Options options;
    options.profile = cardsim::LoadProfile(kExamples / "card.profile");
    options.state_file = folder / "card.nv";
    cardsim::CardBench bench(std::move(options));
    bench.Unplug(1);
    testsupport::RunningProgram station(
        CARVEXCTL,
        {"station", settings.string(), "--description", (kExamples / "Config_Info.ini").string(),
         "--records", (folder / "records.db").string(), "--json", "--http", "127.0.0.1:0"},
        {"CARVEX_ROOT=" + bench.Root().Path().string(), "XDG_STATE_HOME=" + folder.string()});
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

}  // namespace

int main(int argc, char** argv) {
    int rounds = 2;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: line_page_bench [--rounds N]\n");
        return 2;
    }
    const testsupport::TempDir folder;
    const fs::path settings = folder.Path() / "bench.ini";
    const auto written = cardwright::WriteSettingFile(
        settings, {"LW-X4201", false, {{"NETWORK_MODE", "13"}, {"ACQ_ORDER", "1"}}});
    if (!written.Ok()) {
        Fail(written.error);
    }
    std::vector<double> ratios;
    for (int round = 1; round <= rounds; ++round) {
        const fs::path here = folder.Path() / std::to_string(round);
        const double quiet = OneCard(settings, here / "quiet", false);
        const double crowded = OneCard(settings, here / "crowded", true);
        ratios.push_back(crowded / quiet);
        std::printf("round %d: page quiet %.2f s, crowded %.2f s (%.3f)\n", round, quiet, crowded,
                    crowded / quiet);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("median crowded / quiet: %.3f\n", ratios[ratios.size() / 2]);
    return 0;
}
