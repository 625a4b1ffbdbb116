#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "cardwork/presenter/window_view.h"

namespace cardwright {

// The worker's way to the window: its questions, answered on the window's thread while the worker
// waits, and a pace for long work, so that the window's queue of calls never holds more than a
// few milliseconds of its work. Once the window closes, every question (the one open and any
// later one) is answered as cancelled at once and the worker no longer waits for the window.
class ViewChannel {
  public:
    explicit ViewChannel(WindowView& view) : view_(view) {}

    WindowView& View() { return view_; }

    // Puts a question through `ask` (which hands the id to the view) and waits for its answer.
    cardwright::Answer Ask(const std::function<void(QuestionId)>& ask);
    // Counts `steps` of the window's work (about 10 us each) sent to it; after every batch the
    // worker waits until the window has carried them out.
    void WorkDone(int steps);
    // Waits until the window has carried out every call made so far.
    void Synchronise();

    // On the window's thread.
    void Answer(QuestionId id, const cardwright::Answer& answer);
    void Synchronised(uint64_t token);
    // From now on questions are cancelled and nothing waits for the window.
    void Close();
    bool Closed() const;

  private:
    WindowView& view_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    QuestionId next_question_ = 0;
    std::optional<QuestionId> asked_;
    std::optional<cardwright::Answer> answer_;
    uint64_t sync_sent_ = 0;
    uint64_t sync_done_ = 0;
    int steps_sent_ = 0;
    bool closed_ = false;
};

}  // namespace cardwright
