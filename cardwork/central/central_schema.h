#pragma once

namespace cardwright {

class PgConnection;

// The central schema this program writes: a version table (carvex_schema) and the steps that
// reach each version from the one before. A step only adds (tables, columns, indexes), so a
// station of an older program keeps forwarding to a database a newer one has migrated: it writes
// the columns it knows, and leaves the newer ones to their defaults.
inline constexpr int kCentralSchemaVersion = 1;

// Brings the central database up to `target` (at most kCentralSchemaVersion) in one transaction,
// under a lock that two stations migrating at once take in turn; a database at that version or
// newer is left as it is. The version it is at afterwards. Throws CentralError.
int MigrateCentralSchema(PgConnection& connection, int target = kCentralSchemaVersion);

}  // namespace cardwright
