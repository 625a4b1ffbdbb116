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

ResponseQueue::Put ResponseQueue::PutPacket(std::span<const uint8_t> packet,
                                             std::optional<uint64_t> read_through) {
    std::lock_guard lock(lock_);
    const uint64_t mark = MarkForLocked(read_through);
    packets_.push_back({std::vector<uint8_t>(packet.begin(), packet.end()), mark});
    if (packets_.size() > kCapacity) {
        packets_.pop_front();
        ++unanswered_;
    }
    if (expected_ && mark == mark_ && expected_->Matches(packet)) {
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
    const auto match = std::find_if(packets_.begin(), packets_.end(), [&](const Entry& entry) {
        return entry.mark >= since && key.Matches(entry.bytes);
    });
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
    if (auto length = TakeLocked(key, destination, from, true)) {
        arrived_ = false;
        return length;
    }
    expected_ = key;
    const bool woken = arrived_cv_.wait_for(lock, timeout, [&] { return arrived_ || released_; });
    expected_.reset();
    if (!woken || released_) {
        DropAllLocked();
        return std::nullopt;
    }
    arrived_ = false;
    return TakeLocked(key, destination, from, true);
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
