#include "cardwork/model/model_clock.h"

#include <thread>

namespace cardwright {

namespace {
std::shared_ptr<const ModelClock>& ClockSlot() {
    static std::shared_ptr<const ModelClock> clock = std::make_shared<ModelClock>();
    return clock;
}
}  // namespace

void ModelClock::SleepFor(std::chrono::nanoseconds named) const {
    std::this_thread::sleep_for(Real(named));
}

const ModelClock& AppClock() {
    return *ClockSlot();
}

std::shared_ptr<void> InstallAppClock(std::shared_ptr<const ModelClock> clock) {
    auto previous = ClockSlot();
    ClockSlot() = std::move(clock);
    return std::shared_ptr<void>(nullptr, [previous](void*) { ClockSlot() = previous; });
}

}  // namespace cardwright
