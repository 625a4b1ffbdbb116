#include "cardwork/presenter/command_thread.h"

namespace cardwright {

CommandThread::CommandThread(std::function<void()> after_close)
    : after_close_(std::move(after_close)), thread_([this] { Serve(); }) {}

CommandThread::~CommandThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool CommandThread::TrySubmit(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        if (busy_ || stopping_) {
            return false;
        }
        busy_ = true;
        job_ = std::move(job);
    }
    changed_.notify_all();
    return true;
}

bool CommandThread::Busy() const {
    std::lock_guard lock(mutex_);
    return busy_;
}

bool CommandThread::CloseWhenIdle() {
    std::lock_guard lock(mutex_);
    if (!busy_) {
        return true;
    }
    close_asked_ = true;
    return false;
}

void CommandThread::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || job_; });
        if (!job_) {
            return;
        }
        std::function<void()> job = std::move(job_);
        job_ = nullptr;
        lock.unlock();
        job();
        lock.lock();
        // Idle and the close looked at in one step: a close asked for from now on is at once.
        busy_ = false;
        const bool close = close_asked_;
        close_asked_ = false;
        if (close) {
            lock.unlock();
            after_close_();
            lock.lock();
        }
    }
}

}  // namespace cardwright
