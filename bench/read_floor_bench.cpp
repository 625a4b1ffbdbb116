// A Read of n items against the simulated card, on the real clock, beside the floor that the
// card's timings set for the exchanges and log lines this very Read made: the pauses of
// InitCommPort and each close, the receiver's 100 ms after each matched reply, the AT channel's
// whole-second polls, and 50 ms per log line. The overhead above the floor is what the program
// itself costs; it should stay under 2 % and grow linearly with n.
#include <benchmark/benchmark.h>

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "app/main_unit.h"
#include "bench/generated_description.h"
#include "bench/window_driver.h"
#include "cardsim/simulated_card.h"
#include "cardwork/card/library_card.h"
#include "cardwork/model/model_clock.h"
#include "carvex/link/timings.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/environment.h"
#include "tests/support/temp_dir.h"

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

// What the timings of a Read are made of, as they happened.
struct TimingEvent {
    enum class Kind { kPause, kMatchedReply, kLogLine };
    Steady::time_point at;
    Kind kind;
    nanoseconds length;
};

class Timeline {
  public:
    void Add(TimingEvent::Kind kind, nanoseconds length) {
        std::lock_guard lock(mutex_);
        events_.push_back({Steady::now(), kind, length});
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

    // The Read's length if everything but the card's fixed pauses (the library's and the log's)
    // took no time. The caller's pauses
    // and log lines add up; a reply is taken no sooner than the receiver's pause after the
    // previous one has ended, and starts a pause of its own.
    nanoseconds Floor() {
        std::lock_guard lock(mutex_);
        std::sort(events_.begin(), events_.end(),
                  [](const auto& a, const auto& b) { return a.at < b.at; });
        nanoseconds now{0};
        nanoseconds receiver_free{0};
        for (const TimingEvent& event : events_) {
            if (event.kind == TimingEvent::Kind::kMatchedReply) {
                now = std::max(now, receiver_free);
                receiver_free = now + event.length;
            } else {
                now += event.length;
            }
        }
        return now;
    }
    size_t Count(TimingEvent::Kind kind) {
        std::lock_guard lock(mutex_);
        return static_cast<size_t>(std::count_if(events_.begin(), events_.end(),
                                                 [&](const auto& e) { return e.kind == kind; }));
    }

  private:
    std::mutex mutex_;
    std::vector<TimingEvent> events_;
};

Timeline g_timeline;

// The library's real clock, telling the timeline about every pause the caller makes and every
// pause the receiver starts after a matched reply.
class LibraryClock : public carvex::Clock {
  public:
    void SleepFor(Duration named) const override {
        g_timeline.Add(TimingEvent::Kind::kPause, named);
        in_sleep_ = true;
        Clock::SleepFor(named);
        in_sleep_ = false;
    }
    Duration Real(Duration named) const override {
        // Outside a pause of the caller's, 100 ms is the receiver's pause after a matched reply
        // (waits for replies are seconds long).
        if (named == carvex::timing::kAfterMatchedPacket && !in_sleep_) {
            g_timeline.Add(TimingEvent::Kind::kMatchedReply, named);
        }
        return named;
    }

  private:
    static thread_local bool in_sleep_;
};
thread_local bool LibraryClock::in_sleep_ = false;

// The window's real clock, telling the timeline about each log line's pause.
class WindowClock : public cardwright::ModelClock {
  public:
    std::chrono::nanoseconds Real(std::chrono::nanoseconds named) const override {
        g_timeline.Add(TimingEvent::Kind::kLogLine, named);
        return named;
    }
};

cardsim::CardProfile ProfileFor(int items) {
    return cardsim::ParseProfile(benchsupport::ProfileText(
        std::filesystem::path(CARDWRIGHT_EXAMPLES_DIR) / "card.profile", items));
}

void BM_ReadAboveTheFloor(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    testsupport::TempDir dir;
    benchsupport::WriteDescription(dir.Path() / "Config_Info.ini", items);
    benchsupport::WriteSolution(dir.Path() / "config_value.ini", items, "DEFAULT");
    testsupport::TempDir state_dir;
    cardsim::SimulatedCard::Options options;
    options.profile = ProfileFor(items);
    options.state_file = state_dir.Path() / "card.nv";
    cardsim::SimulatedCard card(std::move(options));
    carvex::SetEnvironmentValue("CARVEX_ROOT", card.Root().Path().string());

    carvex::ScopedClock library_clock(std::make_shared<LibraryClock>());
    auto window_clock = cardwright::InstallAppClock(std::make_shared<WindowClock>());
    cardwright::LibraryCard access;
    std::ostringstream opening;
    cardwright::TMainFrm window(QString::fromStdString(dir.Path().string()), access, &opening);
    window.findChild<QTimer*>(QStringLiteral("Timer1"))->stop();
    testsupport::DialogAnswers answers;

    double measured_s = 0;
    double floor_s = 0;
    for (auto _ : state) {
        g_timeline.Clear();
        const auto start = Steady::now();
        window.Presenter().Read();
        benchsupport::Settle(window, answers);
        const auto took = Steady::now() - start;
        measured_s = std::chrono::duration<double>(took).count();
        floor_s = std::chrono::duration<double>(g_timeline.Floor()).count();
        state.SetIterationTime(measured_s);
    }
    state.counters["floor_s"] = floor_s;
    state.counters["overhead_s"] = measured_s - floor_s;
    state.counters["overhead_pct"] = 100.0 * (measured_s - floor_s) / floor_s;
    state.counters["replies"] =
        static_cast<double>(g_timeline.Count(TimingEvent::Kind::kMatchedReply));
    state.counters["log_lines"] =
        static_cast<double>(g_timeline.Count(TimingEvent::Kind::kLogLine));
    carvex::RemoveEnvironmentValue("CARVEX_ROOT");
}
BENCHMARK(BM_ReadAboveTheFloor)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
