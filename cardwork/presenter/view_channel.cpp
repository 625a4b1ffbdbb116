#include "cardwork/presenter/view_channel.h"

namespace cardwright {

namespace {

// About 5 ms of the window's work between two waits for it.
constexpr int kStepsBetweenWaits = 500;

}  // namespace

cardwright::Answer ViewChannel::Ask(const std::function<void(QuestionId)>& ask) {
    QuestionId id = 0;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return {};
        }
        id = ++next_question_;
        asked_ = id;
        answer_.reset();
    }
    // Not under the lock: a view may answer at once, from this very call.
    ask(id);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || answer_.has_value(); });
    asked_.reset();
    cardwright::Answer answer = answer_.value_or(cardwright::Answer{});
    answer_.reset();
    return answer;
}

void ViewChannel::WorkDone(int steps) {
    steps_sent_ += steps;
    if (steps_sent_ >= kStepsBetweenWaits) {
        steps_sent_ = 0;
        Synchronise();
    }
}

void ViewChannel::Synchronise() {
    uint64_t token = 0;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        token = ++sync_sent_;
    }
    view_.Synchronise(token);
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_ || sync_done_ >= token; });
}

void ViewChannel::Answer(QuestionId id, const cardwright::Answer& answer) {
    {
        std::lock_guard lock(mutex_);
        if (asked_ != id || answer_) {
            return;
        }
        answer_ = answer;
    }
    changed_.notify_all();
}

void ViewChannel::Synchronised(uint64_t token) {
    {
        std::lock_guard lock(mutex_);
        sync_done_ = std::max(sync_done_, token);
    }
    changed_.notify_all();
}

void ViewChannel::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool ViewChannel::Closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace cardwright
