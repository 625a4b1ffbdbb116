// How long the window stops answering while its commands work on a description of 1000 items
// over five pages, against the simulated card: a probe timer on the window's thread ticks every
// 5 ms, and each tick notes how late it came. For the start-up read, Read, Write, Export and
// Import (and a Read that shows a stored solution) it reports the longest pause, the 99th
// percentile and the pauses over 50 ms; the aim is none over 50 ms.
//
// The card's and the library's pauses, and the log's, run ten times faster (time-outs keep their
// length), so the commands take seconds, not minutes; what the window's thread does per item is
// the same. ConfigLog.txt starts with the lines of a few earlier runs, as a technician's does.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "app/main_unit.h"
#include "bench/generated_description.h"
#include "bench/window_driver.h"
#include "cardsim/simulated_card.h"
#include "cardwork/card/library_card.h"
#include "cardwork/model/ini_file.h"
#include "cardwork/model/model_clock.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "tests/support/temp_dir.h"

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kItems = 1000;
constexpr int kTimeScale = 10;
constexpr int kEarlierLogLines = 5000;
constexpr milliseconds kTick{5};
constexpr milliseconds kLongPause{50};
constexpr milliseconds kCardBack{30000};

// Ticks on the window's thread and keeps how late each tick came: how long the thread was busy
// with something else than answering.
class StallProbe {
  public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kTick);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }

    void Start() {
        late_.clear();
        previous_ = Steady::now();
        timer_.start();
    }

    // Stops after one more tick, so that the work between the last tick and the end of the
    // command is counted too.
    void Stop() {
        QEventLoop loop;
        QTimer::singleShot(2 * kTick, &loop, &QEventLoop::quit);
        loop.exec();
        timer_.stop();
    }

    void Report(benchmark::State& state) {
        std::vector<Steady::duration> sorted = late_;
        std::sort(sorted.begin(), sorted.end());
        const auto ms = [](Steady::duration d) {
            return std::chrono::duration<double, std::milli>(d).count();
        };
        const size_t count = sorted.size();
        state.counters["longest_ms"] = count > 0 ? ms(sorted.back()) : 0.0;
        state.counters["p99_ms"] = count > 0 ? ms(sorted[(count * 99 + 99) / 100 - 1]) : 0.0;
        state.counters["over_50ms"] = static_cast<double>(std::count_if(
            sorted.begin(), sorted.end(), [](Steady::duration d) { return d > kLongPause; }));
        state.counters["ticks"] = static_cast<double>(count);
    }

  private:
    void Tick() {
        const Steady::time_point now = Steady::now();
        late_.push_back(std::max(Steady::duration::zero(), now - previous_ - kTick));
        previous_ = now;
    }

    QTimer timer_;
    Steady::time_point previous_;
    std::vector<Steady::duration> late_;
};

void WriteEarlierLog(const std::filesystem::path& path) {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < kEarlierLogLines; ++i) {
        out << "2024-3-14 9:05:31  Generated item " << i % kItems << " read succeed.\r\n";
    }
}

// One window and one card for all the benchmarks, which run in order: each finds the window as
// the one before left it, and a benchmark run alone gets the start-up done first.
class Session {
  public:
    static Session& Get() {
        if (!session_) {
            session_.reset(new Session);
        }
        return *session_;
    }
    // The window goes before the application does.
    static void End() { session_.reset(); }
    ~Session() { carvex::RemoveEnvironmentValue("CARVEX_ROOT"); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    cardwright::TMainFrm& Window() { return *window_; }
    // Runs a command of the window's to its end, as the user asks for it, answering its
    // questions as a technician would here: file names for Import and Export, yes to going on.
    void Run(bool (cardwright::WindowPresenter::*command)()) {
        (window_->Presenter().*command)();
        benchsupport::Settle(*window_, answers_);
    }
    StallProbe& Probe() { return probe_; }
    cardsim::SimulatedCard& Card() { return *card_; }
    const std::filesystem::path& SettingFile() const { return setting_file_; }

    // The window shown and its start-up sequence (Timer1's tick) over, the read included.
    void StartUp() {
        if (started_) {
            return;
        }
        started_ = true;
        window_->show();
        benchsupport::Settle(*window_, answers_);
    }

    // The solution config_value.ini names current.
    void Current(const std::string& name) {
        cardwright::IniFile(dir_.Path() / "config_value.ini").WriteString("MAIN", "current", name);
    }

    // After a Write the card restarts; the next command needs it back.
    bool WaitForCard() {
        return card_->WaitForPresence(false, kCardBack) && card_->WaitForPresence(true, kCardBack);
    }

  private:
    Session() {
        benchsupport::WriteDescription(dir_.Path() / "Config_Info.ini", kItems);
        benchsupport::WriteSolution(dir_.Path() / "config_value.ini", kItems, "DEFAULT", true);
        WriteEarlierLog(dir_.Path() / "ConfigLog.txt");
        cardsim::SimulatedCard::Options options;
        options.profile = cardsim::ParseProfile(benchsupport::ProfileText(
            std::filesystem::path(CARDWRIGHT_EXAMPLES_DIR) / "card.profile", kItems));
        options.state_file = state_dir_.Path() / "card.nv";
        options.time_scale = kTimeScale;
        card_ = std::make_unique<cardsim::SimulatedCard>(std::move(options));
        carvex::SetEnvironmentValue("CARVEX_ROOT", card_->Root().Path().string());
        answers_.open_file = answers_.save_file = QString::fromStdString(setting_file_.string());
        window_ = std::make_unique<cardwright::TMainFrm>(
            QString::fromStdString(dir_.Path().string()), card_access_, &opening_);
    }

    testsupport::TempDir dir_;
    testsupport::TempDir state_dir_;
    std::filesystem::path setting_file_ = dir_.Path() / "cards.ini";
    carvex::ScopedClock library_clock_{
        std::make_shared<carvex::ScaledClock>(kTimeScale, carvex::ScaledClock::Timeouts::kFull)};
    std::shared_ptr<void> window_clock_ =
        cardwright::InstallAppClock(std::make_shared<cardwright::TestClock>(kTimeScale));
    std::unique_ptr<cardsim::SimulatedCard> card_;
    cardwright::LibraryCard card_access_;
    std::ostringstream opening_;
    testsupport::DialogAnswers answers_;
    std::unique_ptr<cardwright::TMainFrm> window_;
    StallProbe probe_;
    bool started_ = false;

    static std::unique_ptr<Session> session_;
};
std::unique_ptr<Session> Session::session_;

// Runs `command` once under the probe and reports what the probe saw.
template <class Command>
void Measure(benchmark::State& state, Command command) {
    Session& session = Session::Get();
    for (auto _ : state) {
        session.Probe().Start();
        const auto start = Steady::now();
        command(session);
        session.Probe().Stop();
        state.SetIterationTime(std::chrono::duration<double>(Steady::now() - start).count());
    }
    session.Probe().Report(state);
}

void BM_StartUpRead(benchmark::State& state) {
    Measure(state, [](Session& session) { session.StartUp(); });
}

void BM_Read(benchmark::State& state) {
    Session::Get().StartUp();
    Measure(state, [](Session& session) { session.Run(&cardwright::WindowPresenter::Read); });
}

void BM_Write(benchmark::State& state) {
    Session::Get().StartUp();
    Measure(state, [](Session& session) { session.Run(&cardwright::WindowPresenter::Write); });
    if (!Session::Get().WaitForCard()) {
        state.SkipWithError("the card did not come back after its restart");
    }
}

void BM_Export(benchmark::State& state) {
    Session::Get().StartUp();
    Measure(state, [](Session& session) { session.Run(&cardwright::WindowPresenter::Export); });
    if (!std::filesystem::exists(Session::Get().SettingFile())) {
        state.SkipWithError("nothing was exported");
    }
}

void BM_Import(benchmark::State& state) {
    Session& session = Session::Get();
    session.StartUp();
    if (!std::filesystem::exists(session.SettingFile())) {
        session.Run(&cardwright::WindowPresenter::Export);
    }
    Measure(state, [](Session& s) { s.Run(&cardwright::WindowPresenter::Import); });
}

// Read with a stored solution current: the pages built anew and the solution's values shown.
void BM_SolutionRead(benchmark::State& state) {
    Session& session = Session::Get();
    session.StartUp();
    session.Current("Stored");
    Measure(state, [](Session& s) { s.Run(&cardwright::WindowPresenter::Read); });
    session.Current("DEFAULT");
}

// In the order a technician meets them; Import takes the file Export wrote.
BENCHMARK(BM_StartUpRead)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Read)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Write)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Export)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Import)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_SolutionRead)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    Session::End();
    benchmark::Shutdown();
    return 0;
}
