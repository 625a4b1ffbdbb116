#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "tools/carvexctl/card_job.h"
#include "tools/carvexctl/recording_card.h"
#include "tools/carvexctl/snapshot.h"

namespace carvexctl {

// An NV item as the card holds it: its bytes, or none when the card does not hold it (not
// active). Any other failure is a reason in words.
std::optional<std::string> ReadSavedItem(cardwright::CardAccess& card, int32_t item,
                                         SavedNvItem& saved);

// Saves into `folder` a snapshot of what the card of `job` holds of everything `plan` would
// write (each NV item, the LED items and the port setting as the card gives them), before the
// first write, and names it in the job's row. `writing` is the file about to be written. The
// card's IMEI (from the row) must be one a snapshot can hold. Why it could not, or nullopt.
std::optional<std::string> SaveSnapshotBeforeWrite(CardJob& job, const CardWrites& plan,
                                                   const std::filesystem::path& folder,
                                                   const std::filesystem::path& writing);

}  // namespace carvexctl
