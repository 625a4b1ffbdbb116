#include "cardwork/model/model_clock.h"

#include <thread>

namespace cardwright {

namespace {
std::shared_ptr<const ModelClock>& Slot() {
    static std::shared_ptr<const ModelClock> clock = std::make_shared<ModelClock>();
    return clock;
}
}  // namespace

void ModelClock::SleepFor(std::chrono::nanoseconds named) const {
    std::this_thread::sleep_for(Real(named));
}

const ModelClock& AppClock() {
    return *Slot();
}

std::shared_ptr<void> InstallAppClock(std::shared_ptr<const ModelClock> clock) {
    auto previous = Slot();
    Slot() = std::move(clock);
    return std::shared_ptr<void>(nullptr, [previous](void*) { Slot() = previous; });
}

}  // namespace cardwright
