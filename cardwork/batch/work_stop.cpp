#include "cardwork/batch/work_stop.h"

#include "carvex/platform/clock.h"

namespace cardwright {

void WorkStop::Stop(const std::string& why, std::chrono::milliseconds grace) {
    const std::lock_guard lock(mutex_);
    if (stopping_) {
        return;
    }
    stopping_ = true;
    why_ = why;
    grace_ = grace;
    deadline_ = carvex::GetClock().SteadyNow() + grace;
}

void WorkStop::BreakOff(const std::string& why) {
    const std::lock_guard lock(mutex_);
    if (!stopping_) {
        why_ = why;
    }
    stopping_ = true;
    broken_off_ = true;
}

bool WorkStop::Stopping() const {
    const std::lock_guard lock(mutex_);
    return stopping_;
}

bool WorkStop::BrokenOff() const {
    const std::lock_guard lock(mutex_);
    return broken_off_ || (deadline_ && carvex::GetClock().SteadyNow() >= *deadline_);
}

std::string WorkStop::Why() const {
    const std::lock_guard lock(mutex_);
    return why_;
}

std::string WorkStop::GraceWords() const {
    const std::lock_guard lock(mutex_);
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(grace_).count()) + " s";
}

}  // namespace cardwright
