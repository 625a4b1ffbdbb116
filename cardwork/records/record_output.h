#pragma once

#include <string>
#include <vector>

#include "cardwork/json/json_document.h"
#include "cardwork/records/stored_record.h"

namespace cardwright {

// A record as scripts read it: an object whose members are, in this order, uuid, imei, station,
// port, operator, work_order, setting_file, setting_crc, setting_sha256, description_sha256,
// model, firmware, card_type, started, ended, seconds (to a tenth), result, defaults_left (the
// captions), nv_written, mismatches, retries, snapshot, tool_version and after_hook. What is not
// known is null: a text never given, the end of a record in progress or interrupted.
Json RecordJson(const StoredRecord& record);
// The records as one array.
Json RecordsJson(const std::vector<StoredRecord>& records);

// The same fields as CSV: a line of their names, then a line per record, each ended by CR LF; a
// list's entries are joined by "; ", what is not known is an empty field.
std::string RecordsCsv(const std::vector<StoredRecord>& records);

}  // namespace cardwright
