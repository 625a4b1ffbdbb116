#pragma once

#include <chrono>
#include <memory>

namespace carvex {

// Every pause, wait and clock reading of the library goes through the installed Clock, so tests
// can run the fixed card timings faster (ScaledClock), pin the wall time or watch the pauses.
class Clock {
  public:
    using Duration = std::chrono::nanoseconds;

    constexpr Clock() = default;
    virtual ~Clock() = default;

    virtual std::chrono::steady_clock::time_point SteadyNow() const;
    virtual std::chrono::system_clock::time_point WallNow() const;

    // How long a named duration really lasts on this clock.
    virtual Duration Real(Duration named) const { return named; }
    // How long a named time-out (a wait for an answer) really lasts on this clock.
    virtual Duration Timeout(Duration named) const { return Real(named); }

    // A pause of the named duration.
    virtual void SleepFor(Duration named) const;
};

// Time runs `factor` times faster: every named duration lasts 1/factor of itself, and both
// clock readings advance `factor` times faster than real time from the moment of construction.
// With Timeouts::kFull the time-outs keep their length while the pauses run faster: for tests
// that expect an answer within a time-out, which a busy machine must not turn into a failure.
class ScaledClock : public Clock {
  public:
    enum class Timeouts { kScaled, kFull };

    explicit ScaledClock(int factor, Timeouts timeouts = Timeouts::kScaled);

    std::chrono::steady_clock::time_point SteadyNow() const override;
    std::chrono::system_clock::time_point WallNow() const override;
    Duration Real(Duration named) const override { return named / factor_; }
    Duration Timeout(Duration named) const override {
        return timeouts_ == Timeouts::kFull ? named : named / factor_;
    }

  private:
    int factor_;
    Timeouts timeouts_;
    std::chrono::steady_clock::time_point steady_origin_;
    std::chrono::system_clock::time_point wall_origin_;
};

// The clock in force: the real one unless a test installed another. The real clock lives in
// static storage that is never destroyed, so a connection torn down while the process exits
// never reaches for a clock that is gone.
const Clock& GetClock();

// Installs a clock for the lifetime of the object and puts the previous one back afterwards.
// Tests swap clocks only while no link runs.
class ScopedClock {
  public:
    explicit ScopedClock(std::shared_ptr<const Clock> clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

  private:
    std::shared_ptr<const Clock> clock_;
    const Clock* previous_;
};

}  // namespace carvex
