#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cardwork/central/central_address.h"
#include "cardwork/records/record_store.h"

namespace cardwright {

class PgConnection;

// How the forwarding goes: the records waiting in the outbox, and why they wait.
struct ForwarderStatus {
    size_t waiting = 0;
    std::string reason;  // what the server or the way to it said; empty while all goes well

    // "central records: 3 waiting (could not connect: ...)"; empty when nothing waits for a
    // reason (nothing waits, or the records are on their way).
    std::string Text() const;
    friend bool operator==(const ForwarderStatus&, const ForwarderStatus&) = default;
};

// Sends the records queued in a store's outbox to the central database, on a thread of its own:
// oldest first, each in a transaction of its own, and marks each forwarded once the database
// has it. When the server cannot be reached, refuses, or goes away, the records stay queued and
// it tries again after a pause that doubles from `first_retry` up to `retry_max`; the card work
// never waits for it. A record sent whose answer was lost is sent again, and the database keeps
// it once (by its UUID).
class Forwarder {
  public:
    struct Options {
        std::chrono::milliseconds first_retry{1000};
        std::chrono::milliseconds retry_max{30000};
        // How often it looks for records queued by other processes sharing the store.
        std::chrono::milliseconds look_again{5000};
        // Told each change of the status, on the forwarder's thread.
        std::function<void(const ForwarderStatus&)> status;
        // Called once a record's central transaction is committed, before the record is marked
        // forwarded: a CentralError thrown there is a connection lost at that moment.
        std::function<void(const StoredRecord&)> after_send;
    };

    // Starts forwarding what `store` (which must outlive it) has queued.
    Forwarder(RecordStore& store, CentralAddress address, Options options);
    // Stops, breaking off a statement that waits for the server.
    ~Forwarder();
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    // A record was queued: sends it now, unless the forwarder is pausing after a failure.
    void Wake();
    // Forwards now (a pause after a failure cut short) and waits until nothing waits, or
    // `limit` has passed; the status then.
    ForwarderStatus Drain(std::chrono::milliseconds limit);
    ForwarderStatus Status() const;
    // How many records this forwarder has sent.
    uint64_t Forwarded() const { return forwarded_.load(); }

  private:
    void Run();
    // One round: connects when needed, sends what waits; why it failed, or empty.
    std::string SendWaiting(std::unique_ptr<PgConnection>& connection, bool& reused);
    void Report(const ForwarderStatus& status, uint64_t round);

    RecordStore& store_;
    CentralAddress address_;
    Options options_;
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> forwarded_{0};

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    ForwarderStatus status_;
    uint64_t begun_ = 0;     // rounds begun
    uint64_t reported_ = 0;  // the last round whose status is in status_
    bool woken_ = false;
    bool hurried_ = false;  // a pause after a failure is cut short
    bool migrated_ = false;
    std::thread thread_;
};

// Sends what `store` has queued over `connection`, oldest first, each marked forwarded once the
// central database has it (`after_send` called in between, as Forwarder::Options has it); stops
// early when `stop` is set. How many it sent. Throws CentralError and RecordStoreError.
uint64_t ForwardQueued(RecordStore& store, PgConnection& connection,
                       const std::atomic<bool>* stop = nullptr,
                       const std::function<void(const StoredRecord&)>& after_send = {});

}  // namespace cardwright
