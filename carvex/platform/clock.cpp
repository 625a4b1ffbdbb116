#include "carvex/platform/clock.h"

#include <atomic>

#include "carvex/platform/pause.h"

namespace carvex {

std::chrono::steady_clock::time_point Clock::SteadyNow() const {
    return std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point Clock::WallNow() const {
    return std::chrono::system_clock::now();
}

void Clock::SleepFor(Duration named) const {
    PauseFor(Real(named));
}

ScaledClock::ScaledClock(int factor, Timeouts timeouts)
    : factor_(factor > 0 ? factor : 1),
      timeouts_(timeouts),
      steady_origin_(std::chrono::steady_clock::now()),
      wall_origin_(std::chrono::system_clock::now()) {}

std::chrono::steady_clock::time_point ScaledClock::SteadyNow() const {
    return steady_origin_ + (std::chrono::steady_clock::now() - steady_origin_) * factor_;
}

std::chrono::system_clock::time_point ScaledClock::WallNow() const {
    const auto elapsed = std::chrono::steady_clock::now() - steady_origin_;
    return wall_origin_ +
           std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed * factor_);
}

namespace {

// Constant-initialised and never destroyed: no other static's destruction can come after it.
union RealClock {
    constexpr RealClock() : clock() {}
    ~RealClock() {}  // NOLINT(modernize-use-equals-default): a defaulted one would be deleted
    Clock clock;
};
constinit RealClock g_real_clock;
constinit std::atomic<const Clock*> g_clock{&g_real_clock.clock};

}  // namespace

const Clock& GetClock() {
    return *g_clock.load(std::memory_order_acquire);
}

ScopedClock::ScopedClock(std::shared_ptr<const Clock> clock)
    : clock_(clock ? std::move(clock) : std::make_shared<Clock>()),
      previous_(g_clock.exchange(clock_.get(), std::memory_order_acq_rel)) {}

ScopedClock::~ScopedClock() {
    g_clock.store(previous_, std::memory_order_release);
}

}  // namespace carvex
