#pragma once

#include <filesystem>
#include <ostream>

#include "cardwork/batch/snapshot_shelf.h"

namespace carvexctl {

// `carvexctl snapshots`: a row per snapshot (IMEI, when it was taken, by which command, card
// type, firmware, file), the first of each IMEI marked as the card before carvexctl first wrote
// it; then the files that are no whole snapshot.
void PrintSnapshots(std::ostream& out, const std::filesystem::path& folder,
                    const cardwright::SnapshotShelf& shelf);

// The same as one JSON document.
void PrintSnapshotsJson(std::ostream& out, const std::filesystem::path& folder,
                        const cardwright::SnapshotShelf& shelf);

}  // namespace carvexctl
