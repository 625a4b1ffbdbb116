#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "cardwork/batch/card_record.h"

namespace carvexctl {

// The widest table PrintSummary draws.
inline constexpr size_t kSummaryColumns = 120;

// The summary table: a column per field, a row per card, then how many ended ok. No line of the
// table is wider than kSummaryColumns: the snapshot is named by its file name (the run folder's
// summary holds the whole path), and a field too long for it is cut, ending in "..."; a result
// cut so is given whole on a line of its own below the table.
void PrintSummary(std::ostream& out, const std::vector<cardwright::CardRecord>& cards);

}  // namespace carvexctl
