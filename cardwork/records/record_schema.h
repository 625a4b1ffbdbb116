#pragma once

#include <cstdint>
#include <stdexcept>

namespace cardwright {

class SqliteDatabase;

// A records database that cannot be used, in words for the user: another program's, one of a
// newer schema than this program knows, a file that is no database.
class RecordStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The schema this program writes. Each version is reached from the one before by one step; a
// step only adds (tables, columns, indexes), so what an older program wrote keeps its meaning.
inline constexpr int kRecordSchemaVersion = 3;
// PRAGMA application_id of a records database: "CXRD".
inline constexpr int32_t kRecordsApplicationId = 0x43585244;

// The schema version of the database (PRAGMA user_version; 0 for an empty file). Throws
// RecordStoreError when the file is another program's database.
int RecordSchemaOf(SqliteDatabase& db);

// Throws RecordStoreError when the database is of a schema newer than this program's: it must
// not be written by a program that does not know what its newer columns mean.
void RefuseNewerSchema(SqliteDatabase& db, int version);

// Brings the database from its version to `target` (at most kRecordSchemaVersion), one step
// after another, inside the caller's transaction.
void MigrateRecordSchema(SqliteDatabase& db, int target = kRecordSchemaVersion);

}  // namespace cardwright
