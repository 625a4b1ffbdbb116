#include "carvex/platform/clock.h"

#include <atomic>
#include <thread>

namespace carvex {

std::chrono::steady_clock::time_point Clock::SteadyNow() const {
    return std::chrono::steady_clock::now();
}

std::chrono::system_clock::time_point Clock::WallNow() const {
    return std::chrono::system_clock::now();
}

void Clock::SleepFor(Duration named) const {
    std::this_thread::sleep_for(Real(named));
}

ScaledClock::ScaledClock(int factor)
    : factor_(factor > 0 ? factor : 1),
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

std::shared_ptr<const Clock>& Slot() {
    static std::shared_ptr<const Clock> clock = std::make_shared<Clock>();
    return clock;
}

}  // namespace

std::shared_ptr<const Clock> CurrentClock() {
    return std::atomic_load(&Slot());
}

const Clock& GetClock() {
    // The installed clock outlives every user: tests swap it only while no link runs, and the
    // slot keeps the previous one alive until ScopedClock restores it.
    return *std::atomic_load(&Slot());
}

void InstallClock(std::shared_ptr<const Clock> clock) {
    std::atomic_store(&Slot(), clock ? std::move(clock) : std::make_shared<Clock>());
}

ScopedClock::ScopedClock(std::shared_ptr<const Clock> clock) : previous_(CurrentClock()) {
    InstallClock(std::move(clock));
}

ScopedClock::~ScopedClock() {
    InstallClock(std::move(previous_));
}

}  // namespace carvex
