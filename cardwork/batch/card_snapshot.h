#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/batch/card_job.h"
#include "cardwork/batch/recording_card.h"
#include "cardwork/batch/snapshot.h"

namespace cardwright {

// An NV item as the card holds it: its bytes, or none when the card does not hold it (not
// active). Any other failure is a reason in words.
std::optional<std::string> ReadSavedItem(CardAccess& card, int32_t item, SavedNvItem& saved);

// The captions of the items an NV item holds; none where the caller knows no description.
using CaptionsOfItem = std::function<std::vector<std::string>(int32_t item)>;

// Saves into `folder` a snapshot of what the card of `job` holds of everything `plan` would
// write (each NV item, the LED items and the port setting as the card gives them), before the
// first write, and names it in the job's record, which gets each item's bytes before and those
// the plan gives it. `writing` is the file about to be written, `command` the one writing it
// ("apply", "restore"). The card's IMEI (from the record) must be one a snapshot can hold. Why it
// could not, or nullopt.
std::optional<std::string> SaveSnapshotBeforeWrite(CardJob& job, const CardWrites& plan,
                                                   const std::filesystem::path& folder,
                                                   const std::filesystem::path& writing,
                                                   std::string_view command,
                                                   const CaptionsOfItem& captions);

// Names in the job's record the snapshot an earlier attempt took of this card before it wrote to
// it, in place of a new one, with each item's bytes before as that snapshot holds them. Why it
// cannot be kept (unreadable, another card's, short of an item the plan writes), or nullopt.
std::optional<std::string> KeepEarlierSnapshot(CardJob& job, const CardWrites& plan,
                                               const std::filesystem::path& earlier,
                                               const CaptionsOfItem& captions);

// What the card holds of each NV item and the port setting `plan` would write, beside what it
// would be given, into the job's record (for a dry run, which saves no snapshot). Why the card
// could not be read, or nullopt.
std::optional<std::string> ComparePlan(CardJob& job, const CardWrites& plan,
                                       const CaptionsOfItem& captions);

}  // namespace cardwright
