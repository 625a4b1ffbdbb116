#include "cardwork/central/central_schema.h"

#include <array>
#include <string>
#include <string_view>

#include "cardwork/central/pg_connection.h"

namespace cardwright {

namespace {

// The key of the advisory lock the migrations take: "CXRD" and the schema's number.
constexpr std::string_view kMigrationLock = "SELECT pg_advisory_xact_lock(1129861700, 1)";

// A released step is never changed: a database that went through it keeps what it made.
constexpr std::array<std::string_view, kCentralSchemaVersion> kSteps = {
    // 1: the records of every station, one per UUID; `received` and `arrival` tell when and in
    // which order they came in. Lists are JSON arrays, as the local records keep them.
    R"sql(
    CREATE TABLE carvex_records (
        uuid uuid PRIMARY KEY,
        imei text,
        station text,
        port text,
        operator text,
        work_order text,
        setting_file text,
        setting_crc integer,
        setting_sha256 text,
        description_sha256 text,
        model text,
        firmware text,
        card_type text,
        started timestamptz NOT NULL,
        ended timestamptz,
        seconds double precision,
        result text,
        outcome text,
        step text,
        defaults_left jsonb,
        nv_written integer NOT NULL DEFAULT 0,
        mismatches jsonb NOT NULL DEFAULT '[]',
        retries integer NOT NULL DEFAULT 0,
        snapshot text,
        tool_version text,
        after_hook text,
        received timestamptz NOT NULL DEFAULT now(),
        arrival bigserial NOT NULL
    );
    CREATE INDEX carvex_records_by_imei ON carvex_records (imei);
    CREATE INDEX carvex_records_by_start ON carvex_records (started);
    CREATE INDEX carvex_records_by_station ON carvex_records (station);
    CREATE TABLE carvex_record_items (
        record uuid NOT NULL REFERENCES carvex_records (uuid) ON DELETE CASCADE,
        position integer NOT NULL,
        item text NOT NULL,
        before bytea,
        after bytea,
        PRIMARY KEY (record, position)
    );
    )sql",
};

}  // namespace

int MigrateCentralSchema(PgConnection& connection, int target) {
    PgTransaction transaction(connection);
    connection.Exec(kMigrationLock);
    // Looked at before anything is made: a station's role may insert records into a schema
    // that is up to date without the right to create tables.
    int version = 0;
    if (connection.Exec("SELECT to_regclass('carvex_schema') IS NULL").Text(0, 0) == "t") {
        connection.Exec("CREATE TABLE carvex_schema (version integer NOT NULL)");
    } else {
        const PgResult current = connection.Exec("SELECT max(version) FROM carvex_schema");
        version = std::stoi(current.Value(0, 0).value_or("0"));
    }
    for (; version < target && version < kCentralSchemaVersion; ++version) {
        connection.Exec(kSteps[static_cast<size_t>(version)]);
        connection.Exec("INSERT INTO carvex_schema (version) VALUES ($1)",
                        {std::to_string(version + 1)});
    }
    transaction.Commit();
    return version;
}

}  // namespace cardwright
