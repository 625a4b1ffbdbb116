#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "cardwork/batch/card_record.h"
#include "cardwork/batch/run_summary.h"
#include "cardwork/json/json_document.h"

namespace carvexctl {

// The widest table PrintSummary draws.
inline constexpr size_t kSummaryColumns = 120;

// The summary table: a column per field, a row per card, then how many ended ok. No line of the
// table is wider than kSummaryColumns: the snapshot is named by its file name (the run folder's
// summary holds the whole path), and a field too long for it is cut, ending in "..."; a result
// cut so is given whole on a line of its own below the table.
void PrintSummary(std::ostream& out, const std::vector<cardwright::CardRecord>& cards);

// The summary as one JSON object: the run's facts ("run_started", "run_ended", "tool_version",
// "station", "operator", "work_order", "settings_file", "settings_crc", "settings_sha256",
// "description_sha256"), then the members of `about_run` (what the command adds), then "cards"
// (each as the run folder's summary.json has it) and "cards_ok".
cardwright::Json SummaryJson(const cardwright::RunReport& report,
                             const cardwright::Json& about_run);

}  // namespace carvexctl
