#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cardwork/batch/snapshot.h"

namespace cardwright {

// One snapshot file of a folder, read whole.
struct ShelvedSnapshot {
    std::filesystem::path file;
    CardSnapshot snapshot;
    // The earliest snapshot of its IMEI: the card as it was before carvexctl first wrote it.
    bool first = false;
};

// A snapshot file of the folder that is no whole snapshot (cut short, edited, not one at all).
struct UnreadSnapshot {
    std::filesystem::path file;
    std::string error;
};

// The snapshots kept in a folder.
struct SnapshotShelf {
    std::vector<ShelvedSnapshot> snapshots;  // by IMEI, each IMEI's in the order they were taken
    std::vector<UnreadSnapshot> unread;      // by name
    // IMEIs none of whose snapshots is marked first: a file named for it that sorts before the
    // earliest one read cannot be read, and may have been the first.
    std::vector<std::string> first_unknown;
    std::string error;  // why the folder could not be read; a folder that is not there holds none
};

// The snapshots ("*.json") of `folder`, or those of the card with IMEI `imei` when given: files
// whose contents name it, and files that cannot be read whose name does ("<IMEI>-...").
SnapshotShelf ListSnapshots(const std::filesystem::path& folder,
                            const std::optional<std::string>& imei = std::nullopt);

}  // namespace cardwright
