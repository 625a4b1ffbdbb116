#include "app_win32/call_queue.h"

namespace cardwright::win32 {

void CallQueue::Post(Call call) {
    {
        const std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        calls_.push_back(std::move(call));
        if (woken_) {
            return;
        }
        woken_ = true;
    }
    wake_();
}

void CallQueue::RunWaiting() {
    for (;;) {
        Call call;
        {
            const std::lock_guard lock(mutex_);
            if (calls_.empty() || closed_) {
                woken_ = false;
                return;
            }
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
}

void CallQueue::Close() {
    const std::lock_guard lock(mutex_);
    closed_ = true;
    calls_.clear();
}

}  // namespace cardwright::win32
