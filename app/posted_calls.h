#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

namespace cardwright {

// Carries calls from any thread to the thread of its QObject, where they run in the order they
// were posted, a few milliseconds of them at a time. The calls wait in a queue of our own under a
// std::mutex; Qt's event queue only carries the wake-up (by the slot's name, nothing of ours in
// it). So every hand-over between the presenter's worker and the window's thread goes through a
// lock ThreadSanitizer sees, which it cannot in Qt's own queue.
class PostedCalls : public QObject {
    Q_OBJECT

  public:
    explicit PostedCalls(QObject* parent) : QObject(parent) {}

    void Post(std::function<void()> call);
    // Whether every call posted so far has run.
    bool Drained();

  private slots:
    void RunPosted();

  private:
    std::mutex mutex_;
    std::deque<std::function<void()>> calls_;
};

}  // namespace cardwright
