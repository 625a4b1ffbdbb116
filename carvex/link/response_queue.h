#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "carvex/link/diag_request_header.h"

namespace carvex {

// The packets the receiving thread has queued for the caller, and the one key a caller waits
// for. Every wait starts from an empty queue once it has looked, so a late reply to an earlier
// request cannot answer a later one.
class ResponseQueue {
  public:
    static constexpr size_t kCapacity = 10;

    enum class Put { kQueued, kMatched };

    // Queues a copy of the packet (the oldest one goes when more than kCapacity are held) and
    // wakes the waiter when the packet matches its key.
    Put PutPacket(std::span<const uint8_t> packet);

    // Waits up to `timeout` (a real duration) for a packet matching `key`; copies at most
    // destination.size() bytes of it and returns its full length.
    std::optional<size_t> Wait(ResponseKey key, std::span<uint8_t> destination,
                               std::chrono::nanoseconds timeout);

    // Marks a caller inside one of the link's waits, from before its Wait to after it has used
    // the result, so the link is never destroyed under it.
    class Visit {
      public:
        explicit Visit(ResponseQueue& queue);
        ~Visit();
        Visit(const Visit&) = delete;
        Visit& operator=(const Visit&) = delete;

      private:
        ResponseQueue& queue_;
    };

    // Wakes a caller that is still waiting, returns once every caller has left, and empties the
    // queue; later waits end at once. What a link does before it goes.
    void ReleaseWaiters();

    size_t Size() const;
    bool HasWaiter() const;

  private:
    std::optional<size_t> TakeMatchLocked(ResponseKey key, std::span<uint8_t> destination);

    mutable std::mutex lock_;
    std::condition_variable arrived_cv_;
    bool arrived_ = false;  // the auto-reset response-arrived event
    std::deque<std::vector<uint8_t>> packets_;
    std::optional<ResponseKey> expected_;
    int visitors_ = 0;
    bool released_ = false;  // the link is going: no wait blocks any more
    std::condition_variable left_cv_;
};

}  // namespace carvex
