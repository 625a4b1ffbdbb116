#include "carvex/link/response_queue.h"

#include <algorithm>
#include <cstring>

namespace carvex {

uint64_t ResponseQueue::BeginRequest(std::optional<uint64_t> received) {
    std::lock_guard lock(lock_);
    ++mark_;
    if (!received) {
        sent_.clear();  // without counts, arrival is told by queueing
    } else {
        sent_.push_back({mark_, *received});
        if (sent_.size() > kRequestsKept) {
            sent_.pop_front();
        }
    }
    return mark_;
}

void ResponseQueue::RestartCounts() {
    std::lock_guard lock(lock_);
    sent_.clear();
    overdue_.clear();
}

// The last request sent before the packet's last byte arrived.
uint64_t ResponseQueue::MarkForLocked(std::optional<uint64_t> read_through) const {
    if (!read_through || sent_.empty() || sent_.back().mark != mark_) {
        return mark_;
    }
    uint64_t mark = mark_;
    for (auto sent = sent_.rbegin(); sent != sent_.rend() && *read_through <= sent->received;
         ++sent) {
        mark = sent->mark - 1;
    }
    return mark;
}

uint64_t ResponseQueue::LastRequest() const {
    std::lock_guard lock(lock_);
    return mark_;
}

uint64_t ResponseQueue::LateForLocked(std::span<const uint8_t> packet, uint64_t mark) {
    for (auto overdue = overdue_.begin(); overdue != overdue_.end(); ++overdue) {
        if (overdue->mark <= mark && overdue->key.Matches(packet)) {
            const uint64_t late_for = overdue->mark;
            overdue_.erase(overdue);
            return late_for;
        }
    }
    return 0;
}

bool ResponseQueue::Answers(const Entry& entry, ResponseKey key, uint64_t since) {
    return entry.mark >= since && (entry.late_for == 0 || entry.late_for >= since) &&
           key.Matches(entry.bytes);
}

bool ResponseQueue::LateForEarlier(const Entry& entry, ResponseKey key, uint64_t since) {
    return entry.mark >= since && entry.late_for != 0 && entry.late_for < since &&
           key.Matches(entry.bytes);
}

ResponseQueue::Put ResponseQueue::PutPacket(std::span<const uint8_t> packet,
                                            std::optional<uint64_t> read_through) {
    std::lock_guard lock(lock_);
    const uint64_t mark = MarkForLocked(read_through);
    Entry entry{std::vector<uint8_t>(packet.begin(), packet.end()), mark};
    entry.late_for = LateForLocked(packet, mark);
    const bool answers = expected_ && mark == mark_ && Answers(entry, *expected_, expected_since_);
    if (expected_ && LateForEarlier(entry, *expected_, expected_since_)) {
        expected_saw_late_ = true;
    }
    packets_.push_back(std::move(entry));
    if (packets_.size() > kCapacity) {
        packets_.pop_front();
        ++unanswered_;
    }
    if (answers) {
        arrived_ = true;
        arrived_cv_.notify_all();
        return Put::kMatched;
    }
    return Put::kQueued;
}

void ResponseQueue::DropAllLocked() {
    unanswered_ += packets_.size();
    packets_.clear();
}

std::optional<size_t> ResponseQueue::TakeLocked(ResponseKey key, std::span<uint8_t> destination,
                                                uint64_t since, bool drop_others) {
    std::optional<size_t> length;
    const auto match = std::find_if(packets_.begin(), packets_.end(),
                                    [&](const Entry& entry) { return Answers(entry, key, since); });
    if (match != packets_.end()) {
        const size_t count = std::min(destination.size(), match->bytes.size());
        std::memcpy(destination.data(), match->bytes.data(), count);
        length = match->bytes.size();
        packets_.erase(match);
    }
    if (drop_others) {
        DropAllLocked();
    }
    return length;
}

std::optional<size_t> ResponseQueue::Wait(ResponseKey key, std::span<uint8_t> destination,
                                          std::chrono::nanoseconds timeout,
                                          std::optional<uint64_t> since) {
    std::unique_lock lock(lock_);
    if (released_) {
        return std::nullopt;
    }
    const uint64_t from = since.value_or(mark_);
    const bool saw_late = std::any_of(packets_.begin(), packets_.end(), [&](const Entry& entry) {
        return LateForEarlier(entry, key, from);
    });
    if (auto length = TakeLocked(key, destination, from, true)) {
        arrived_ = false;
        return length;
    }
    expected_ = key;
    expected_since_ = from;
    expected_saw_late_ = saw_late;
    const bool woken = arrived_cv_.wait_for(lock, timeout, [&] { return arrived_ || released_; });
    expected_.reset();
    if (released_) {
        DropAllLocked();
        return std::nullopt;
    }
    if (woken) {
        arrived_ = false;
        if (auto length = TakeLocked(key, destination, from, true)) {
            return length;
        }
    } else {
        DropAllLocked();
    }
    // One overdue request of a kind is enough: a card seldom sends several replies it held back,
    // and each mark costs a later request its reply when the card had lost the one it stands for.
    const bool marked = std::any_of(overdue_.begin(), overdue_.end(),
                                    [&](const Overdue& overdue) { return overdue.key == key; });
    if (mark_ != 0 && !expected_saw_late_ && !marked) {
        overdue_.push_back({key, mark_});
        if (overdue_.size() > kRequestsKept) {
            overdue_.pop_front();
        }
    }
    return std::nullopt;
}

std::optional<size_t> ResponseQueue::TakeQueued(ResponseKey key, std::span<uint8_t> destination,
                                                uint64_t since) {
    std::lock_guard lock(lock_);
    return TakeLocked(key, destination, since, false);
}

ResponseQueue::Visit::Visit(ResponseQueue& queue) : queue_(queue) {
    std::lock_guard lock(queue_.lock_);
    ++queue_.visitors_;
}

ResponseQueue::Visit::~Visit() {
    std::lock_guard lock(queue_.lock_);
    --queue_.visitors_;
    queue_.left_cv_.notify_all();
}

void ResponseQueue::ReleaseWaiters() {
    std::unique_lock lock(lock_);
    released_ = true;
    arrived_cv_.notify_all();
    // A woken caller only has to take the lock to leave: this wait is short.
    left_cv_.wait(lock, [&] { return visitors_ == 0; });
    arrived_ = false;
    packets_.clear();
}

size_t ResponseQueue::Size() const {
    std::lock_guard lock(lock_);
    return packets_.size();
}

bool ResponseQueue::HasWaiter() const {
    std::lock_guard lock(lock_);
    return expected_.has_value();
}

uint64_t ResponseQueue::Unanswered() const {
    std::lock_guard lock(lock_);
    return unanswered_;
}

}  // namespace carvex
