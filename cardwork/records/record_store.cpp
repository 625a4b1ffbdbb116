#include "cardwork/records/record_store.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "cardwork/batch/card_record.h"
#include "cardwork/batch/utc_text.h"
#include "cardwork/json/json_document.h"
#include "cardwork/records/record_uuid.h"
#include "cardwork/records/sqlite_database.h"
#include "carvex/platform/clock.h"
#include "carvex/platform/process_identity.h"

namespace cardwright {

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::milliseconds kOpenRetryPause{20};

// A record's columns, in the order every statement binds and reads them.
constexpr std::array<std::string_view, 26> kColumns = {
    "uuid",       "imei",         "station",     "port",           "operator",
    "work_order", "setting_file", "setting_crc", "setting_sha256", "description_sha256",
    "model",      "firmware",     "card_type",   "started",        "ended",
    "seconds",    "result",       "outcome",     "step",           "defaults_left",
    "nv_written", "mismatches",   "retries",     "snapshot",       "tool_version",
    "after_hook",
};
constexpr int kOwnerColumns = 3;

std::string ColumnList() {
    std::string list;
    for (const std::string_view column : kColumns) {
        list += (list.empty() ? "" : ", ") + std::string(column);
    }
    return list;
}

// An empty text is one not known: NULL in the database, as the JSON output gives it.
// The ended attempts that either ended ok or got as far as writing with a snapshot taken.
constexpr const char* kEndedWriteOrOk =
    "outcome IS NOT NULL AND (outcome = 'ok' OR (snapshot IS NOT NULL AND "
    "(nv_written > 0 OR step IN ('writing', 'restart', 'read-back'))))";

// Puts a record at the end of the outbox's queue, at the time ?2: the record ?1 (kQueue), or the
// queued one of the UUID ?1 once more (kQueueAgain), also while it is being sent: its new place
// keeps it waiting when the send of what it was before ends.
constexpr std::string_view kQueue =
    "UPDATE outbox SET queued = ?2, sent = NULL, place = (SELECT coalesce(max(place), 0) + 1 "
    "FROM outbox) WHERE record_id = ?1";
constexpr std::string_view kQueueAgain =
    "UPDATE outbox SET queued = ?2, sent = NULL, place = (SELECT coalesce(max(place), 0) + 1 "
    "FROM outbox) WHERE queued IS NOT NULL AND record_id = (SELECT id FROM records WHERE uuid = "
    "?1)";

void BindText(SqliteStatement& statement, int at, const std::string& text) {
    if (text.empty()) {
        statement.BindNull(at);
    } else {
        statement.Bind(at, std::string_view(text));
    }
}

// Binds the record's columns at 1 to kColumns.size(); without `ending`, its end stays NULL.
void BindRecord(SqliteStatement& statement, const StoredRecord& record, bool ending) {
    int at = 1;
    BindText(statement, at++, record.uuid);
    BindText(statement, at++, record.imei);
    BindText(statement, at++, record.station);
    BindText(statement, at++, record.port);
    BindText(statement, at++, record.operator_name);
    BindText(statement, at++, record.work_order);
    BindText(statement, at++, record.setting_file);
    if (record.setting_crc) {
        statement.Bind(at++, static_cast<int64_t>(*record.setting_crc));
    } else {
        statement.BindNull(at++);
    }
    BindText(statement, at++, record.setting_sha256);
    BindText(statement, at++, record.description_sha256);
    BindText(statement, at++, record.model);
    BindText(statement, at++, record.firmware);
    BindText(statement, at++, record.card_type);
    statement.Bind(at++, std::string_view(UtcText(record.started)));
    if (ending && record.ended) {
        statement.Bind(at++, std::string_view(UtcText(*record.ended)));
    } else {
        statement.BindNull(at++);
    }
    if (ending && record.seconds) {
        statement.Bind(at++, *record.seconds);
    } else {
        statement.BindNull(at++);
    }
    BindText(statement, at++, ending ? record.result : std::string());
    if (ending && record.outcome) {
        statement.Bind(at++, OutcomeName(*record.outcome));
    } else {
        statement.BindNull(at++);
    }
    BindText(statement, at++, record.step);
    if (record.defaults_left) {
        statement.Bind(at++, std::string_view(ListText(*record.defaults_left)));
    } else {
        statement.BindNull(at++);
    }
    statement.Bind(at++, static_cast<int64_t>(record.nv_written));
    statement.Bind(at++, std::string_view(ListText(record.mismatches)));
    statement.Bind(at++, static_cast<int64_t>(record.retries));
    BindText(statement, at++, record.snapshot);
    BindText(statement, at++, record.tool_version);
    if (record.after_hook) {
        statement.Bind(at++, std::string_view(*record.after_hook));
    } else {
        statement.BindNull(at++);
    }
}

std::chrono::system_clock::time_point TimeOf(const std::string& text) {
    return ParseUtcText(text).value_or(std::chrono::system_clock::time_point{});
}

// The record whose columns a row holds from column 0 on.
StoredRecord ReadRecord(const SqliteStatement& row) {
    StoredRecord record;
    int at = 0;
    record.uuid = row.Text(at++);
    record.imei = row.Text(at++);
    record.station = row.Text(at++);
    record.port = row.Text(at++);
    record.operator_name = row.Text(at++);
    record.work_order = row.Text(at++);
    record.setting_file = row.Text(at++);
    if (!row.IsNull(at)) {
        record.setting_crc = static_cast<uint16_t>(row.Int(at));
    }
    ++at;
    record.setting_sha256 = row.Text(at++);
    record.description_sha256 = row.Text(at++);
    record.model = row.Text(at++);
    record.firmware = row.Text(at++);
    record.card_type = row.Text(at++);
    record.started = TimeOf(row.Text(at++));
    if (!row.IsNull(at)) {
        record.ended = TimeOf(row.Text(at));
    }
    ++at;
    if (!row.IsNull(at)) {
        record.seconds = row.Real(at);
    }
    ++at;
    record.result = row.Text(at++);
    record.outcome = OutcomeNamed(row.Text(at++));
    record.step = row.Text(at++);
    if (!row.IsNull(at)) {
        record.defaults_left = ListOf(row.Text(at));
    }
    ++at;
    record.nv_written = static_cast<size_t>(row.Int(at++));
    record.mismatches = ListOf(row.Text(at++));
    record.retries = static_cast<int>(row.Int(at++));
    record.snapshot = row.Text(at++);
    record.tool_version = row.Text(at++);
    if (!row.IsNull(at)) {
        record.after_hook = row.Text(at);
    }
    return record;
}

void BindBytes(SqliteStatement& statement, int at,
               const std::optional<std::vector<uint8_t>>& bytes) {
    if (bytes) {
        statement.Bind(at, std::span<const uint8_t>(*bytes));
    } else {
        statement.BindNull(at);
    }
}

std::optional<std::vector<uint8_t>> BytesOf(const SqliteStatement& row, int at) {
    return row.IsNull(at) ? std::nullopt : std::optional(row.Blob(at));
}

}  // namespace

RecordStore::RecordStore(const fs::path& path, IfMissing if_missing) : path_(path) {
    const carvex::Clock& clock = carvex::GetClock();
    const auto give_up = clock.SteadyNow() + kBusyTimeout;
    for (;;) {
        try {
            Open(if_missing);
            return;
        } catch (const RecordStoreError&) {
            throw;
        } catch (const SqliteError& error) {
            // Two processes opening a file at once (making it, turning on its log) can each
            // hold a lock the other waits for; SQLite then fails one at once rather than wait.
            // That one tries again, as a busy wait would.
            if (!error.Busy() || clock.SteadyNow() >= give_up) {
                Fail(error);
            }
            db_.reset();
            clock.SleepFor(kOpenRetryPause);
        } catch (const std::runtime_error& error) {
            // The folder that cannot be made, the system that cannot tell who this process is.
            Fail(error);
        }
    }
}

RecordStore::~RecordStore() = default;

void RecordStore::Fail(const std::exception& error) const {
    throw RecordStoreError(path_.string() + ": " + error.what());
}

void RecordStore::Open(IfMissing if_missing) {
    std::error_code error;
    const bool there = fs::exists(path_, error);
    if (!there && if_missing == IfMissing::kRefuse) {
        throw RecordStoreError(path_.string() + ": no records there (none were written yet)");
    }
    if (!there && path_.has_parent_path()) {
        fs::create_directories(path_.parent_path(), error);
        if (error) {
            throw RecordStoreError("cannot make the folder " + path_.parent_path().string() + ": " +
                                   error.message());
        }
    }
    db_ = std::make_unique<SqliteDatabase>(path_, !there);
    db_->SetBusyTimeout(kBusyTimeout);
    // Nothing is changed in a file that is not ours, or is of a newer schema, not even its
    // journal mode. What it is is read in one snapshot: another process may be making it.
    {
        SqliteTransaction read(*db_, SqliteTransaction::Kind::kRead);
        RefuseNewerSchema(*db_, RecordSchemaOf(*db_));
        read.Commit();
    }
    const std::string mode = db_->TextPragma("journal_mode = WAL");
    if (mode != "wal") {
        throw RecordStoreError(path_.string() + ": cannot keep a write-ahead log there (" + mode +
                               ")");
    }
    db_->Exec("PRAGMA synchronous = FULL");
    db_->Exec("PRAGMA foreign_keys = ON");
    SqliteTransaction transaction(*db_);
    // Another process may have brought the schema up meanwhile: looked at again under the lock.
    MigrateRecordSchema(*db_);
    marked_interrupted_ = MarkGoneOwners();
    transaction.Commit();
}

size_t RecordStore::MarkGoneOwners() {
    struct Begun {
        int64_t id = 0;
        std::string step;
    };
    std::vector<Begun> gone;
    SqliteStatement begun = db_->Prepare(
        "SELECT id, step, owner_boot, owner_pid, owner_start FROM records WHERE outcome IS NULL");
    while (begun.Step()) {
        const carvex::ProcessIdentity owner{begun.Text(2), static_cast<int>(begun.Int(3)),
                                            static_cast<uint64_t>(begun.Int(4))};
        // A record without an owner has nobody who could still complete it.
        if (begun.IsNull(3) || carvex::ProcessGone(owner)) {
            gone.push_back({begun.Int(0), begun.Text(1)});
        }
    }
    SqliteStatement mark =
        db_->Prepare("UPDATE records SET outcome = 'interrupted', result = ?2 WHERE id = ?1");
    SqliteStatement queue = db_->Prepare(kQueue);
    const std::string now = UtcText(std::chrono::system_clock::now());
    for (const Begun& record : gone) {
        const std::string result =
            record.step.empty() ? "interrupted" : "interrupted at " + record.step;
        mark.Bind(1, record.id).Bind(2, std::string_view(result)).Run();
        queue.Bind(1, record.id).Bind(2, std::string_view(now)).Run();
    }
    return gone.size();
}

void RecordStore::Begin(StoredRecord& record) {
    const std::lock_guard lock(mutex_);
    try {
        const carvex::ProcessIdentity owner = carvex::CurrentProcessIdentity();
        if (!IsRecordUuid(record.uuid)) {
            record.uuid = NewUuid();
        }
        if (record.started == std::chrono::system_clock::time_point{}) {
            record.started = std::chrono::system_clock::now();
        }
        std::string placeholders;
        for (size_t i = 1; i <= kColumns.size() + kOwnerColumns; ++i) {
            placeholders += (i == 1 ? "?" : ", ?") + std::to_string(i);
        }
        SqliteStatement insert =
            db_->Prepare("INSERT INTO records (" + ColumnList() +
                         ", owner_boot, owner_pid, owner_start) VALUES (" + placeholders + ")");
        BindRecord(insert, record, false);
        int at = static_cast<int>(kColumns.size()) + 1;
        insert.Bind(at++, std::string_view(owner.boot));
        insert.Bind(at++, static_cast<int64_t>(owner.pid));
        insert.Bind(at++, static_cast<int64_t>(owner.start));
        SqliteTransaction transaction(*db_);
        insert.Run();
        if (forwarding_) {
            db_->Prepare("INSERT INTO outbox (record_id) VALUES (?1)")
                .Bind(1, db_->LastInsertId())
                .Run();
        }
        transaction.Commit();
    } catch (const std::runtime_error& error) {
        // SQLite's refusals, and a system that cannot say who this process is or give random
        // bytes.
        Fail(error);
    }
}

void RecordStore::Update(const StoredRecord& record, bool ending) {
    std::string assignments;
    for (size_t i = 1; i < kColumns.size(); ++i) {
        assignments +=
            (i == 1 ? "" : ", ") + std::string(kColumns[i]) + " = ?" + std::to_string(i + 1);
    }
    SqliteStatement update =
        db_->Prepare("UPDATE records SET " + assignments + " WHERE uuid = ?1 AND outcome IS NULL");
    BindRecord(update, record, ending);
    update.Run();
    if (db_->Changes() != 1) {
        throw RecordStoreError(path_.string() + ": no record in progress has the UUID " +
                               record.uuid);
    }
}

void RecordStore::Note(const StoredRecord& record) {
    const std::lock_guard lock(mutex_);
    try {
        Update(record, false);
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

void RecordStore::Complete(const StoredRecord& record) {
    if (!record.outcome) {
        throw RecordStoreError("the record " + record.uuid +
                               " cannot be completed without its end");
    }
    bool queued = false;
    const std::lock_guard lock(mutex_);
    try {
        SqliteTransaction transaction(*db_);
        Update(record, true);
        SqliteStatement id = db_->Prepare("SELECT id FROM records WHERE uuid = ?1");
        id.Bind(1, std::string_view(record.uuid)).Step();
        const int64_t record_id = id.Int(0);
        SqliteStatement insert = db_->Prepare(
            "INSERT INTO record_items (record_id, item, before, after) VALUES (?1, ?2, ?3, ?4)");
        for (const RecordItem& item : record.items) {
            insert.Bind(1, record_id).Bind(2, std::string_view(item.item));
            BindBytes(insert, 3, item.before);
            BindBytes(insert, 4, item.after);
            insert.Run();
        }
        db_->Prepare(kQueue)
            .Bind(1, record_id)
            .Bind(2, std::string_view(UtcText(std::chrono::system_clock::now())))
            .Run();
        queued = db_->Changes() > 0;
        transaction.Commit();
    } catch (const SqliteError& error) {
        Fail(error);
    }
    if (queued) {
        Queued();
    }
}

void RecordStore::SetAfterHook(std::string_view uuid, std::string_view outcome) {
    bool requeued = false;
    const std::lock_guard lock(mutex_);
    try {
        SqliteStatement update = db_->Prepare(
            "UPDATE records SET after_hook = ?2 WHERE uuid = ?1 AND outcome IS NOT NULL");
        SqliteTransaction transaction(*db_);
        update.Bind(1, uuid).Bind(2, outcome).Run();
        if (db_->Changes() != 1) {
            throw RecordStoreError(path_.string() + ": no completed record has the UUID " +
                                   std::string(uuid));
        }
        // A record forwarded before its after-hook ended goes again: the central database
        // takes the after-hook of a record it already has.
        db_->Prepare(kQueueAgain)
            .Bind(1, uuid)
            .Bind(2, std::string_view(UtcText(std::chrono::system_clock::now())))
            .Run();
        requeued = db_->Changes() > 0;
        transaction.Commit();
    } catch (const SqliteError& error) {
        Fail(error);
    }
    if (requeued) {
        Queued();
    }
}

void RecordStore::QueueForForwarding(std::function<void()> queued) {
    const std::lock_guard lock(mutex_);
    forwarding_ = true;
    queued_ = std::move(queued);
}

void RecordStore::Queued() const {
    if (queued_) {
        queued_();
    }
}

std::vector<QueuedRecord> RecordStore::Waiting(size_t limit) const {
    const std::lock_guard lock(mutex_);
    try {
        std::vector<int64_t> places;
        std::vector<StoredRecord> records = Select(
            "id IN (SELECT record_id FROM outbox WHERE queued IS NOT NULL AND sent IS NULL) "
            "ORDER BY (SELECT place FROM outbox WHERE record_id = id) LIMIT ?1",
            [&](SqliteStatement& query) { query.Bind(1, static_cast<int64_t>(limit)); }, true,
            &places);
        std::vector<QueuedRecord> queued;
        queued.reserve(records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            queued.push_back({std::move(records[i]), places[i]});
        }
        return queued;
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

size_t RecordStore::WaitingCount() const {
    const std::lock_guard lock(mutex_);
    try {
        SqliteStatement count =
            db_->Prepare("SELECT count(*) FROM outbox WHERE queued IS NOT NULL AND sent IS NULL");
        count.Step();
        return static_cast<size_t>(count.Int(0));
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

void RecordStore::MarkForwarded(std::span<const QueuedRecord> records) {
    const std::lock_guard lock(mutex_);
    try {
        SqliteTransaction transaction(*db_);
        SqliteStatement mark = db_->Prepare(
            "UPDATE outbox SET sent = ?2 WHERE record_id = (SELECT id FROM records WHERE uuid = "
            "?1) AND place = ?3");
        const std::string now = UtcText(std::chrono::system_clock::now());
        for (const QueuedRecord& queued : records) {
            mark.Bind(1, std::string_view(queued.record.uuid))
                .Bind(2, std::string_view(now))
                .Bind(3, queued.place)
                .Run();
        }
        transaction.Commit();
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

std::vector<StoredRecord> RecordStore::Select(std::string_view where,
                                              const std::function<void(SqliteStatement&)>& bind,
                                              bool with_items, std::vector<int64_t>* places) const {
    std::vector<StoredRecord> records;
    // One read transaction: the items belong to the records as they were read.
    const SqliteTransaction read(*db_, SqliteTransaction::Kind::kRead);
    SqliteStatement query =
        db_->Prepare("SELECT " + ColumnList() +
                     ", id, coalesce((SELECT place FROM outbox WHERE record_id = id), 0) FROM "
                     "records WHERE " +
                     std::string(where));
    bind(query);
    std::vector<int64_t> ids;
    while (query.Step()) {
        records.push_back(ReadRecord(query));
        ids.push_back(query.Int(static_cast<int>(kColumns.size())));
        if (places != nullptr) {
            places->push_back(query.Int(static_cast<int>(kColumns.size()) + 1));
        }
    }
    if (with_items) {
        SqliteStatement items = db_->Prepare(
            "SELECT item, before, after FROM record_items WHERE record_id = ?1 ORDER BY rowid");
        for (size_t i = 0; i < records.size(); ++i) {
            items.Bind(1, ids[i]);
            while (items.Step()) {
                records[i].items.push_back({items.Text(0), BytesOf(items, 1), BytesOf(items, 2)});
            }
        }
    }
    return records;
}

std::vector<StoredRecord> RecordStore::Find(const RecordFilter& filter, bool with_items) const {
    const std::lock_guard lock(mutex_);
    try {
        // The latest ones are taken from the end, then given back in the order they began.
        const bool from_start = filter.first != 0;
        auto records = Select(
            std::string("(?1 IS NULL OR imei = ?1) AND (?2 IS NULL OR started >= ?2)"
                        " AND (?3 IS NULL OR outcome = ?3) AND (?4 IS NULL OR station = ?4)") +
                (from_start ? " ORDER BY id LIMIT ?5" : " ORDER BY id DESC LIMIT ?5"),
            [&](SqliteStatement& query) {
                BindText(query, 1, filter.imei);
                BindText(query, 2, filter.since ? UtcText(*filter.since) : std::string());
                BindText(query, 3, filter.outcome ? std::string(OutcomeName(*filter.outcome)) : "");
                BindText(query, 4, filter.station);
                const size_t limit = from_start ? filter.first : filter.latest;
                query.Bind(5, limit == 0 ? int64_t{-1} : static_cast<int64_t>(limit));
            },
            with_items);
        if (!from_start) {
            std::reverse(records.begin(), records.end());
        }
        return records;
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

bool RecordStore::HasOk(std::string_view imei, std::string_view setting_sha256) const {
    const std::lock_guard lock(mutex_);
    try {
        SqliteStatement query = db_->Prepare(
            "SELECT 1 FROM records WHERE imei = ?1 AND setting_sha256 = ?2 AND outcome = 'ok' "
            "LIMIT 1");
        query.Bind(1, imei).Bind(2, setting_sha256);
        return query.Step();
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

std::string RecordStore::SnapshotBeforeUnfinishedWrite(std::string_view imei,
                                                       std::string_view setting_sha256) const {
    const std::lock_guard lock(mutex_);
    try {
        // The steps from the first write on; an attempt still at an earlier one (refused by a
        // hook, gone while it was read) changed nothing, and its snapshot holds what the last
        // write left. A record in progress is another process's card work, not yet an attempt
        // that ended.
        SqliteStatement query =
            db_->Prepare(std::string("SELECT outcome, snapshot FROM records WHERE imei = ?1 AND "
                                     "setting_sha256 = ?2 AND ") +
                         kEndedWriteOrOk + " ORDER BY id DESC LIMIT 1");
        query.Bind(1, imei).Bind(2, setting_sha256);
        if (!query.Step() || query.Text(0) == "ok") {
            return {};
        }
        return query.Text(1);
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

std::vector<std::string> RecordStore::SnapshotsOfUnfinishedWrites() const {
    const std::lock_guard lock(mutex_);
    try {
        // Per IMEI and file, the latest attempt as SnapshotBeforeUnfinishedWrite finds it, when
        // it did not end ok; and the records still in progress, whose next attempt may need the
        // snapshot they name.
        SqliteStatement query = db_->Prepare(
            std::string("SELECT snapshot FROM records WHERE snapshot IS NOT NULL AND "
                        "(outcome IS NULL OR (outcome != 'ok' AND id IN (SELECT MAX(id) FROM "
                        "records WHERE ") +
            kEndedWriteOrOk +
            " GROUP BY imei, setting_sha256))) GROUP BY snapshot ORDER BY MIN(id)");
        std::vector<std::string> snapshots;
        while (query.Step()) {
            snapshots.push_back(query.Text(0));
        }
        return snapshots;
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

size_t RecordStore::RemoveBegunBefore(std::chrono::system_clock::time_point cutoff) {
    const std::lock_guard lock(mutex_);
    try {
        SqliteStatement remove = db_->Prepare(
            "DELETE FROM records WHERE started < ?1 AND outcome IS NOT NULL AND id NOT "
            "IN (SELECT record_id FROM outbox WHERE sent IS NULL)");
        remove.Bind(1, std::string_view(UtcText(cutoff))).Run();
        return static_cast<size_t>(db_->Changes());
    } catch (const SqliteError& error) {
        Fail(error);
    }
}

}  // namespace cardwright
