#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace cardwright {

// Every pause and every reading of the time of day in the configurator goes through here, so
// tests can shorten the pauses and pin the time.
class ModelClock {
  public:
    using WallTime = std::chrono::system_clock::time_point;

    virtual ~ModelClock() = default;
    virtual WallTime Now() const { return std::chrono::system_clock::now(); }
    virtual std::chrono::nanoseconds Real(std::chrono::nanoseconds named) const { return named; }
    void SleepFor(std::chrono::nanoseconds named) const;
};

// Pauses divided by `factor`, and the time of day fixed or real.
class TestClock : public ModelClock {
  public:
    explicit TestClock(int factor, std::function<WallTime()> now = {})
        : factor_(factor > 0 ? factor : 1), now_(std::move(now)) {}
    WallTime Now() const override { return now_ ? now_() : ModelClock::Now(); }
    std::chrono::nanoseconds Real(std::chrono::nanoseconds named) const override {
        return named / factor_;
    }

  private:
    int factor_;
    std::function<WallTime()> now_;
};

const ModelClock& AppClock();
// Installs a clock until the returned holder goes (tests only).
std::shared_ptr<void> InstallAppClock(std::shared_ptr<const ModelClock> clock);

}  // namespace cardwright
