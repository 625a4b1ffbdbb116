#include "app/library_worker.h"

#include <QEventLoop>
#include <QMetaObject>

namespace cardwright {

LibraryWorker::LibraryWorker() : thread_([this] { Serve(); }) {}

LibraryWorker::~LibraryWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

int32_t LibraryWorker::Run(const std::function<int32_t()>& call) {
    QEventLoop loop;
    {
        std::lock_guard lock(mutex_);
        if (loop_ != nullptr) {
            // A call made while another waits (from an event its loop delivered) would take the
            // other's place: it fails instead, as a card that cannot be reached.
            return 0;
        }
        pending_ = &call;
        done_ = false;
        loop_ = &loop;
    }
    changed_.notify_all();
    loop.exec();
    // The loop also ends when the application quits: the call must be over all the same
    // before what it refers to goes.
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return done_; });
    loop_ = nullptr;
    return result_;
}

void LibraryWorker::Serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || pending_ != nullptr; });
        if (pending_ == nullptr) {
            return;
        }
        const std::function<int32_t()>* call = pending_;
        pending_ = nullptr;
        lock.unlock();
        const int32_t result = (*call)();
        lock.lock();
        result_ = result;
        done_ = true;
        // Posted to the waiting thread; a quit posted before its loop runs ends it at once.
        QMetaObject::invokeMethod(loop_, "quit", Qt::QueuedConnection);
        changed_.notify_all();
    }
}

}  // namespace cardwright
