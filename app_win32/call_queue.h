#pragma once

#include <deque>
#include <functional>
#include <mutex>

namespace cardwright::win32 {

// Calls made on any thread and carried out on the window's thread, in the order they were made.
// `wake` tells the window's thread that calls wait (the window posts itself a message); it is
// called once for a run of calls, never while the queue's lock is held, so a wake that posts a
// message cannot deadlock against the window's thread.
class CallQueue {
  public:
    using Call = std::function<void()>;

    explicit CallQueue(std::function<void()> wake) : wake_(std::move(wake)) {}

    // Any thread.
    void Post(Call call);

    // The window's thread, on its wake-up: carries out the waiting calls one by one. A call
    // that runs a modal loop (a message box) may be re-entered from that loop; the calls still
    // start in their order.
    void RunWaiting();
    // From now on calls are dropped: the window they were for is gone.
    void Close();

  private:
    std::function<void()> wake_;
    std::mutex mutex_;
    std::deque<Call> calls_;
    bool woken_ = false;  // a wake is on its way and not yet answered
    bool closed_ = false;
};

}  // namespace cardwright::win32
