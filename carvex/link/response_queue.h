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
// for. Each packet carries the mark of the last request sent before it arrived: a packet that
// arrived before a request went out never answers that request, so a late reply to an earlier
// request cannot answer a later one. When it arrived is told by the port's byte counts (a packet
// whose last byte was on the port when a request was sent is older than the request, however
// late the receiver queues it); without them, by when it is queued. Every wait empties the queue
// once it has looked; what goes without having answered anything is counted.
//
// A reply can also come after its request's wait gave up and the next request of its kind went
// out, and many replies carry nothing of their request to tell which one they answer. So a wait
// that runs out leaves its key behind as overdue (once per key): the first packet that arrives
// later and would have answered it is taken for its late reply, and answers only a wait that
// still takes replies to that request (one `since` it), never the next request's. A wait that
// runs out after such a reply came leaves nothing overdue: the card did answer once meanwhile,
// and a card that lost a reply would otherwise have each later reply taken for the one before.
class ResponseQueue {
  public:
    static constexpr size_t kCapacity = 10;

    enum class Put { kQueued, kMatched };

    // A request goes out now, after the port had received `received` bytes: packets that end
    // beyond them may answer it. Returns its mark.
    uint64_t BeginRequest(std::optional<uint64_t> received = std::nullopt);
    // The mark of the request sent last (0 before any).
    uint64_t LastRequest() const;

    // Queues a copy of the packet, whose last byte was the port's `read_through`-th (the oldest
    // packet goes when more than kCapacity are held), and wakes the waiter when it matches.
    Put PutPacket(std::span<const uint8_t> packet,
                  std::optional<uint64_t> read_through = std::nullopt);

    // The port was opened anew: its byte counts start again, and no reply to a request sent
    // before is awaited any more.
    void RestartCounts();

    // Waits up to `timeout` (a real duration) for a packet matching `key` that arrived since the
    // request marked `since` went out (by default the last one); copies at most
    // destination.size() bytes of it and returns its full length. Without one, the last request
    // is left overdue.
    std::optional<size_t> Wait(ResponseKey key, std::span<uint8_t> destination,
                               std::chrono::nanoseconds timeout,
                               std::optional<uint64_t> since = std::nullopt);

    // A matching packet already queued since the request marked `since`, taken without waiting;
    // the other packets stay.
    std::optional<size_t> TakeQueued(ResponseKey key, std::span<uint8_t> destination,
                                     uint64_t since);

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
    // Packets dropped without having answered a request (unrequested ones, late ones, and those
    // pushed out of a full queue).
    uint64_t Unanswered() const;

  private:
    struct Entry {
        std::vector<uint8_t> bytes;
        uint64_t mark;
        uint64_t late_for = 0;  // the overdue request it is taken to answer; 0: none
    };
    struct Sent {
        uint64_t mark;
        uint64_t received;  // bytes the port had received when the request went out
    };
    struct Overdue {
        ResponseKey key;
        uint64_t mark;  // the request whose wait ran out
    };
    static constexpr size_t kRequestsKept = 16;

    uint64_t MarkForLocked(std::optional<uint64_t> read_through) const;
    // The oldest overdue request sent before the packet arrived whose reply it would be, which
    // it then answers (0: none).
    uint64_t LateForLocked(std::span<const uint8_t> packet, uint64_t mark);
    static bool Answers(const Entry& entry, ResponseKey key, uint64_t since);
    // Whether the entry would have answered a wait `since` that request, but is an earlier
    // overdue request's late reply.
    static bool LateForEarlier(const Entry& entry, ResponseKey key, uint64_t since);

    std::optional<size_t> TakeLocked(ResponseKey key, std::span<uint8_t> destination,
                                     uint64_t since, bool drop_others);
    void DropAllLocked();

    mutable std::mutex lock_;
    std::condition_variable arrived_cv_;
    bool arrived_ = false;  // the auto-reset response-arrived event
    std::deque<Entry> packets_;
    std::optional<ResponseKey> expected_;
    uint64_t expected_since_ = 0;
    bool expected_saw_late_ = false;  // another request's late reply came during the wait
    uint64_t mark_ = 0;
    std::deque<Sent> sent_;        // the latest requests with counts, newest last
    std::deque<Overdue> overdue_;  // oldest first
    uint64_t unanswered_ = 0;
    int visitors_ = 0;
    bool released_ = false;  // the link is going: no wait blocks any more
    std::condition_variable left_cv_;
};

}  // namespace carvex
