#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/records/record_schema.h"
#include "cardwork/records/stored_record.h"

namespace cardwright {

class SqliteDatabase;
class SqliteStatement;

// A record waiting in the outbox, and its place in the queue when it was read: a record queued
// again meanwhile (its after-hook ended) has a new place, and is sent again.
struct QueuedRecord {
    StoredRecord record;
    int64_t place = 0;
};

// Which records a query wants; what is not set does not narrow it.
struct RecordFilter {
    std::string imei{};
    std::optional<std::chrono::system_clock::time_point> since{};  // begun at or after
    std::optional<RecordOutcome> outcome{};
    std::string station{};
    size_t latest = 0;  // only the latest this many of them; 0: every one
    size_t first = 0;   // when set: only the first this many of them, and `latest` is not used
};

// The records of card work in one SQLite file, which several processes (apply, a station, a
// query) use at once: each change is one transaction, written through to the disk before it
// counts (write-ahead log, full synchronous commits), and a process that finds another one
// writing waits for it (up to kBusyTimeout) instead of failing.
//
// A record is inserted when its card's work begins, with its owner (this process, told apart from
// any later one of the same pid), and completed, items and all, in one transaction when the work
// ends. A record whose owner is gone without completing it (killed, a power cut) is marked
// interrupted when a store is next opened on the file, and only then; the records of a process
// that still runs are never touched by another.
//
// Every member may be called from any thread; calls are taken one at a time.
class RecordStore {
  public:
    enum class IfMissing { kCreate, kRefuse };
    static constexpr std::chrono::milliseconds kBusyTimeout{10000};

    // Opens the file (made, with its folder, when missing, unless kRefuse), brings its schema up
    // to date and marks the records of gone owners interrupted. Throws RecordStoreError: a file
    // of a newer schema, another program's database, one that cannot be opened or written.
    explicit RecordStore(const std::filesystem::path& path,
                         IfMissing if_missing = IfMissing::kCreate);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // How many records this open marked interrupted.
    size_t MarkedInterrupted() const { return marked_interrupted_; }

    // Inserts the record as its work begins, with this process as its owner; a record without a
    // UUID gets a new one, and its start when it has none. Throws RecordStoreError, also for a
    // UUID that another record has. Its end (result, outcome, ended,
    // seconds) is not saved yet.
    void Begin(StoredRecord& record);
    // Saves what a begun record has learnt since (the card's identity, the step it is at, its
    // snapshot), so that an interrupted record tells as much; its end is not saved.
    void Note(const StoredRecord& record);
    // Completes a begun record in one transaction: everything it holds, its end and its items.
    // Throws RecordStoreError when it has no outcome, or no begun record has its UUID.
    void Complete(const StoredRecord& record);
    // Keeps what the after-hook of a completed record came to.
    void SetAfterHook(std::string_view uuid, std::string_view outcome);

    // The records the filter lets through, in the order they began; with their items if asked.
    std::vector<StoredRecord> Find(const RecordFilter& filter, bool with_items = false) const;
    // Whether the card of this IMEI has an ok record of a write of the file with this SHA-256.
    bool HasOk(std::string_view imei, std::string_view setting_sha256) const;
    // The snapshot of the card as it was before a write of the file with this SHA-256 that did
    // not end well: that of its latest such attempt that got as far as writing, when no attempt
    // since then ended ok. An attempt that wrote some items leaves the card otherwise than a new
    // snapshot would find the original; an empty text when there is none to keep.
    std::string SnapshotBeforeUnfinishedWrite(std::string_view imei,
                                              std::string_view setting_sha256) const;
    // Every snapshot a later attempt may still need: the one SnapshotBeforeUnfinishedWrite gives
    // for each IMEI and file, and those of the records in progress.
    std::vector<std::string> SnapshotsOfUnfinishedWrites() const;
    // Removes the ended records (completed or interrupted) begun before `cutoff`, items and all;
    // how many went. A record still waiting to be forwarded is kept.
    size_t RemoveBegunBefore(std::chrono::system_clock::time_point cutoff);

    // The outbox of a central database. From this call on, every record begun through this store
    // is queued for forwarding as it ends: in the transaction that completes it, or, when its
    // process went without completing it, in the one that marks it interrupted at the next open
    // (by any process). `queued` (may be empty) is called after each commit that queued one, on
    // the thread that committed it.
    void QueueForForwarding(std::function<void()> queued = {});
    // The queued records not forwarded yet, in their order in the queue (that in which they
    // ended, or were queued again), with their items; at most `limit` of them.
    std::vector<QueuedRecord> Waiting(size_t limit) const;
    size_t WaitingCount() const;
    // The central database has these records as Waiting gave them: they no longer wait, unless
    // one was queued again since (it has another place). One transaction.
    void MarkForwarded(std::span<const QueuedRecord> records);

  private:
    void Open(IfMissing if_missing);
    size_t MarkGoneOwners();
    void Update(const StoredRecord& record, bool ending);
    // The records whose row `where` lets through (its parameters bound by `bind`), by id.
    // With `places`, also the place of each in the outbox (0: none).
    std::vector<StoredRecord> Select(std::string_view where,
                                     const std::function<void(SqliteStatement&)>& bind,
                                     bool with_items, std::vector<int64_t>* places = nullptr) const;
    void Queued() const;
    [[noreturn]] void Fail(const std::exception& error) const;

    std::filesystem::path path_;
    std::unique_ptr<SqliteDatabase> db_;
    size_t marked_interrupted_ = 0;
    bool forwarding_ = false;
    std::function<void()> queued_;
    mutable std::mutex mutex_;
};

}  // namespace cardwright
