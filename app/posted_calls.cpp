#include "app/posted_calls.h"

#include <chrono>
#include <utility>

namespace cardwright {

namespace {

constexpr std::chrono::milliseconds kSlice{4};

}  // namespace

void PostedCalls::Post(std::function<void()> call) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        // A wake-up is on its way while calls wait: it takes this one as well.
        wake = calls_.empty();
        calls_.push_back(std::move(call));
    }
    if (wake) {
        QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
    }
}

bool PostedCalls::Drained() {
    std::lock_guard lock(mutex_);
    return calls_.empty();
}

void PostedCalls::RunPosted() {
    // The calls run a few milliseconds at a time; the rest follow the window's other events
    // (its input, its timers, its painting), so that a long stretch of calls never stalls it.
    const auto give_way = std::chrono::steady_clock::now() + kSlice;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty()) {
                return;
            }
            if (std::chrono::steady_clock::now() >= give_way) {
                QMetaObject::invokeMethod(this, "RunPosted", Qt::QueuedConnection);
                return;
            }
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

}  // namespace cardwright
