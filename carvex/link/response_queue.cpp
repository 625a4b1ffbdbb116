#include "carvex/link/response_queue.h"

#include <algorithm>
#include <cstring>
#include <thread>

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
    if (auto length = TakeMatchLocked(key, destination)) {
        arrived_ = false;
        return length;
    }
    expected_ = key;
    const bool woken = arrived_cv_.wait_for(lock, timeout, [&] { return arrived_; });
    expected_.reset();
    if (!woken) {
        packets_.clear();
        return std::nullopt;
    }
    arrived_ = false;
    return TakeMatchLocked(key, destination);
}

void ResponseQueue::ReleaseWaiter(std::chrono::nanoseconds grace) {
    {
        std::lock_guard lock(lock_);
        if (!expected_) {
            packets_.clear();
            return;
        }
        arrived_ = true;
        arrived_cv_.notify_all();
    }
    std::this_thread::sleep_for(grace);
    std::lock_guard lock(lock_);
    arrived_ = false;
    packets_.clear();
}

void ResponseQueue::Clear() {
    std::lock_guard lock(lock_);
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
