#include "app/posted_calls.h"

#include <utility>

namespace cardwright {

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

void PostedCalls::RunPosted() {
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(mutex_);
        calls.swap(calls_);
    }
    for (const std::function<void()>& call : calls) {
        call();
    }
}

}  // namespace cardwright
