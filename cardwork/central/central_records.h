#pragma once

#include <vector>

#include "cardwork/records/record_store.h"
#include "cardwork/records/stored_record.h"

namespace cardwright {

class PgConnection;

// Puts one record, with its items, into the central database in a transaction of its own. A
// record the database already has (by its UUID: sent before, and the answer lost) is not put in
// again; only an after-hook it did not have yet is added. Throws CentralError.
void SendRecord(PgConnection& connection, const StoredRecord& record);

// The records of every station that the filter lets through, in the order they began (those
// begun in the same second in the order they arrived); without their items; none when no
// station has forwarded there yet. Throws CentralError.
std::vector<StoredRecord> FindCentral(PgConnection& connection, const RecordFilter& filter);

}  // namespace cardwright
