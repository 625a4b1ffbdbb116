#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class QEventLoop;

namespace cardwright {

// Runs the library's calls on a thread of their own, one at a time, while the window's thread
// waits in a local event loop: the window repaints and its log grows while the card answers,
// however long that takes.
class LibraryWorker {
  public:
    LibraryWorker();
    ~LibraryWorker();
    LibraryWorker(const LibraryWorker&) = delete;
    LibraryWorker& operator=(const LibraryWorker&) = delete;

    // Runs `call` on the worker and returns its result once it has ended. The calling thread
    // processes its events meanwhile (user input is the caller's to keep out). A call made while
    // another one waits is refused: 0, and it does not run.
    int32_t Run(const std::function<int32_t()>& call);

  private:
    void Serve();

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<int32_t()>* pending_ = nullptr;
    QEventLoop* loop_ = nullptr;  // the waiting thread's loop, while a call runs
    bool done_ = false;
    bool stopping_ = false;
    int32_t result_ = 0;
    std::thread thread_;
};

}  // namespace cardwright
