#include "carvex/link/response_queue.h"

#include <algorithm>
#include <cstring>

namespace carvex {

ResponseQueue::Put ResponseQueue::PutPacket(std::span<const uint8_t> packet) {
    std::lock_guard lock(lock_);
    packets_.emplace_back(packet.begin(), packet.end());
    if (packets_.size() > kCapacity) {
        packets_.pop_front();
    }
    if (expected_ && expected_->Matches(packet)) {
        arrived_ = true;
        arrived_cv_.notify_all();
        return Put::kMatched;
    }
    return Put::kQueued;
}

std::optional<size_t> ResponseQueue::TakeMatchLocked(ResponseKey key,
                                                     std::span<uint8_t> destination) {
    std::optional<size_t> length;
    const auto match = std::find_if(packets_.begin(), packets_.end(),
                                    [&](const std::vector<uint8_t>& p) { return key.Matches(p); });
    if (match != packets_.end()) {
        const size_t count = std::min(destination.size(), match->size());
        std::memcpy(destination.data(), match->data(), count);
        length = match->size();
    }
    packets_.clear();
    return length;
}

std::optional<size_t> ResponseQueue::Wait(ResponseKey key, std::span<uint8_t> destination,
                                          std::chrono::nanoseconds timeout) {
    std::unique_lock lock(lock_);
    if (released_) {
        return std::nullopt;
    }
    if (auto length = TakeMatchLocked(key, destination)) {
        arrived_ = false;
        return length;
    }
    expected_ = key;
    const bool woken =
        arrived_cv_.wait_for(lock, timeout, [&] { return arrived_ || released_; });
    expected_.reset();
    if (!woken || released_) {
        packets_.clear();
        return std::nullopt;
    }
    arrived_ = false;
    return TakeMatchLocked(key, destination);
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

}  // namespace carvex
