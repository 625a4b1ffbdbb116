#include "cardwork/central/forwarder.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "cardwork/central/central_records.h"
#include "cardwork/central/central_schema.h"
#include "cardwork/central/pg_connection.h"
#include "carvex/platform/clock.h"

namespace cardwright {

namespace {

// Records sent per look into the outbox.
constexpr size_t kBatch = 100;
constexpr std::string_view kUndefinedTable = "42P01";

}  // namespace

uint64_t ForwardQueued(RecordStore& store, PgConnection& connection, const std::atomic<bool>* stop,
                       const std::function<void(const StoredRecord&)>& after_send) {
    uint64_t sent = 0;
    // Marked a batch at a time: a write of the local database (written through to the disk)
    // per record would take longer than sending it. A record sent but not marked when the
    // process ends is sent again, and kept once.
    std::vector<QueuedRecord> unmarked;
    const auto mark = [&] {
        store.MarkForwarded(unmarked);
        sent += unmarked.size();
        unmarked.clear();
    };
    for (;;) {
        std::vector<QueuedRecord> batch = store.Waiting(kBatch);
        const size_t read = batch.size();
        try {
            for (QueuedRecord& queued : batch) {
                if (stop != nullptr && stop->load()) {
                    break;
                }
                SendRecord(connection, queued.record);
                if (after_send) {
                    after_send(queued.record);
                }
                unmarked.push_back(std::move(queued));
            }
        } catch (const CentralError&) {
            mark();
            throw;
        }
        mark();
        if (read < kBatch || (stop != nullptr && stop->load())) {
            return sent;
        }
    }
}

std::string ForwarderStatus::Text() const {
    if (waiting == 0 || reason.empty()) {
        return {};
    }
    return "central records: " + std::to_string(waiting) + " waiting (" + reason + ")";
}

Forwarder::Forwarder(RecordStore& store, CentralAddress address, Options options)
    : store_(store), address_(std::move(address)), options_(std::move(options)) {
    thread_ = std::thread([this] { Run(); });
}

Forwarder::~Forwarder() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void Forwarder::Wake() {
    {
        const std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

ForwarderStatus Forwarder::Status() const {
    const std::lock_guard lock(mutex_);
    return status_;
}

ForwarderStatus Forwarder::Drain(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    woken_ = true;
    hurried_ = true;
    changed_.notify_all();
    // A round begun before this call may have counted before the last record was queued.
    const uint64_t round = begun_ + 1;
    changed_.wait_for(lock, carvex::GetClock().Real(limit),
                      [&] { return stopping_ || (reported_ >= round && status_.waiting == 0); });
    return status_;
}

void Forwarder::Report(const ForwarderStatus& status, uint64_t round) {
    bool changed = false;
    {
        const std::lock_guard lock(mutex_);
        changed = !(status_ == status);
        status_ = status;
        reported_ = round;
    }
    changed_.notify_all();
    if (changed && options_.status) {
        options_.status(status);
    }
}

std::string Forwarder::SendWaiting(std::unique_ptr<PgConnection>& connection, bool& reused) {
    try {
        reused = connection != nullptr;
        if (!connection) {
            connection = std::make_unique<PgConnection>(address_.Conninfo(), &stopping_);
        }
        if (!migrated_) {
            MigrateCentralSchema(*connection);
            migrated_ = true;
        }
        forwarded_ += ForwardQueued(store_, *connection, &stopping_, options_.after_send);
        return {};
    } catch (const CentralError& error) {
        connection.reset();
        if (error.SqlState() == kUndefinedTable) {
            // Somebody dropped the tables: they are made again on the next try.
            migrated_ = false;
        }
        return error.what();
    } catch (const RecordStoreError& error) {
        return std::string("the local records cannot be read: ") + error.what();
    }
}

void Forwarder::Run() {
    std::unique_ptr<PgConnection> connection;
    auto pause = options_.first_retry;
    while (!stopping_) {
        uint64_t round = 0;
        {
            const std::lock_guard lock(mutex_);
            woken_ = false;
            hurried_ = false;
            round = ++begun_;
        }
        bool reused = false;
        std::string reason = SendWaiting(connection, reused);
        if (stopping_) {
            break;
        }
        if (!reason.empty() && reused) {
            // A connection that lay idle may have been closed by a server restarted meanwhile:
            // a new one is tried at once before anything is said.
            reason = SendWaiting(connection, reused);
        }
        ForwarderStatus status{0, reason};
        try {
            status.waiting = store_.WaitingCount();
        } catch (const RecordStoreError& error) {
            status.waiting = Status().waiting;
            status.reason = std::string("the local records cannot be read: ") + error.what();
        }
        Report(status, round);
        std::unique_lock lock(mutex_);
        if (status.reason.empty()) {
            pause = options_.first_retry;
            if (status.waiting == 0) {
                changed_.wait_for(lock, carvex::GetClock().Real(options_.look_again),
                                  [&] { return stopping_ || woken_; });
            }
            continue;
        }
        changed_.wait_for(lock, carvex::GetClock().Real(pause),
                          [&] { return stopping_ || hurried_; });
        hurried_ = false;
        pause = std::min(pause * 2, options_.retry_max);
    }
}

}  // namespace cardwright
