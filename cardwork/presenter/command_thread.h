#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace cardwright {

// The presenter's worker: one thread that runs one job at a time. A job asked for while another
// one runs (or waits to) is refused, not queued: a click during a command is not kept for later.
class CommandThread {
  public:
    // `after_close` runs on the worker once the job under way when Close was asked for has ended.
    explicit CommandThread(std::function<void()> after_close);
    // Waits for the job under way to end, then ends the thread.
    ~CommandThread();
    CommandThread(const CommandThread&) = delete;
    CommandThread& operator=(const CommandThread&) = delete;

    // Hands `job` to the worker; false when it is busy.
    bool TrySubmit(std::function<void()> job);
    bool Busy() const;
    // True when no job runs: the window may close at once. Else the job's end calls
    // `after_close`.
    bool CloseWhenIdle();

  private:
    void Serve();

    std::function<void()> after_close_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    bool busy_ = false;
    bool close_asked_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace cardwright
