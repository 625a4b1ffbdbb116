#include "cardwork/records/record_schema.h"

#include <array>
#include <string>
#include <string_view>

#include "cardwork/records/sqlite_database.h"

namespace cardwright {

namespace {

// The steps, the first making version 1. A released step is never changed: databases that went
// through it keep what it made, and the next step starts from there.
constexpr std::array<std::string_view, kRecordSchemaVersion> kSteps = {
    // 1: the records and the bytes each one wrote. `id` orders them as they began; texts that
    // hold lists (defaults_left, mismatches) are JSON arrays. A record whose `outcome` is NULL is
    // in progress: its owner (boot, pid, start) says which process may still complete it.
    R"sql(
    CREATE TABLE records (
        id INTEGER PRIMARY KEY,
        uuid TEXT NOT NULL UNIQUE,
        imei TEXT,
        station TEXT,
        port TEXT,
        operator TEXT,
        work_order TEXT,
        setting_file TEXT,
        setting_crc INTEGER,
        setting_sha256 TEXT,
        description_sha256 TEXT,
        model TEXT,
        firmware TEXT,
        card_type TEXT,
        started TEXT NOT NULL,
        ended TEXT,
        seconds REAL,
        result TEXT,
        outcome TEXT,
        step TEXT,
        defaults_left TEXT,
        nv_written INTEGER NOT NULL DEFAULT 0,
        mismatches TEXT NOT NULL DEFAULT '[]',
        retries INTEGER NOT NULL DEFAULT 0,
        snapshot TEXT,
        tool_version TEXT,
        owner_boot TEXT,
        owner_pid INTEGER,
        owner_start INTEGER
    );
    CREATE INDEX records_by_imei ON records (imei);
    CREATE INDEX records_by_start ON records (started);
    CREATE INDEX records_in_progress ON records (id) WHERE outcome IS NULL;
    CREATE TABLE record_items (
        record_id INTEGER NOT NULL REFERENCES records (id) ON DELETE CASCADE,
        item TEXT NOT NULL,
        before BLOB,
        after BLOB,
        UNIQUE (record_id, item)
    );
    )sql",
    // 2: what the station's after-hook came to; records are searched by station.
    R"sql(
    ALTER TABLE records ADD COLUMN after_hook TEXT;
    CREATE INDEX records_by_station ON records (station);
    )sql",
    // 3: the outbox of the records forwarded to a central database. A row is made when a
    // forwarding process begins the record; once the record has ended (completed, or marked
    // interrupted) it is queued: `queued` says when, `place` its place in the queue, which is the
    // order they are sent in. `sent` says when the central database had it.
    R"sql(
    CREATE TABLE outbox (
        record_id INTEGER PRIMARY KEY REFERENCES records (id) ON DELETE CASCADE,
        queued TEXT,
        place INTEGER,
        sent TEXT
    );
    CREATE INDEX outbox_waiting ON outbox (place) WHERE queued IS NOT NULL AND sent IS NULL;
    )sql",
};

}  // namespace

int RecordSchemaOf(SqliteDatabase& db) {
    const int64_t application = db.IntPragma("application_id");
    const int64_t version = db.IntPragma("user_version");
    if (application == kRecordsApplicationId) {
        return static_cast<int>(version);
    }
    SqliteStatement objects = db.Prepare("SELECT count(*) FROM sqlite_schema");
    const bool empty = objects.Step() && objects.Int(0) == 0;
    if (application != 0 || version != 0 || !empty) {
        throw RecordStoreError(db.Path().string() +
                               " is another program's database, not one of card records");
    }
    return 0;
}

void RefuseNewerSchema(SqliteDatabase& db, int version) {
    if (version > kRecordSchemaVersion) {
        throw RecordStoreError(db.Path().string() + " holds records of a newer program (schema " +
                               std::to_string(version) + "; this one knows up to " +
                               std::to_string(kRecordSchemaVersion) +
                               "): use that program, or another records file");
    }
}

void MigrateRecordSchema(SqliteDatabase& db, int target) {
    int version = RecordSchemaOf(db);
    RefuseNewerSchema(db, version);
    if (version == 0) {
        db.Exec("PRAGMA application_id = " + std::to_string(kRecordsApplicationId));
    }
    for (; version < target && version < kRecordSchemaVersion; ++version) {
        db.Exec(kSteps[static_cast<size_t>(version)]);
        db.Exec("PRAGMA user_version = " + std::to_string(version + 1));
    }
}

}  // namespace cardwright
