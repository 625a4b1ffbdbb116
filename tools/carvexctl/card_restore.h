#pragma once

#include <filesystem>

#include "carvex/platform/device_root.h"
#include "tools/carvexctl/apply_report.h"
#include "tools/carvexctl/card_return.h"
#include "tools/carvexctl/progress_board.h"
#include "tools/carvexctl/snapshot.h"

namespace carvexctl {

struct RestoreRequest {
    bool force = false;  // a card whose IMEI is not the snapshot's is restored too
    bool restart = true;
    ReturnLimits limits;
    std::filesystem::path snapshots;  // the folder for the snapshot taken before the first write
};

// Puts a card back as a snapshot found it: every NV item the snapshot holds the bytes of, its LED
// items and its port setting written back, then the backup, the restart and the read-back of
// everything written, as `apply` ends. A card whose IMEI is not the snapshot's is refused unless
// `force`. Before the first write the card gets a snapshot of its own, as apply takes one, which
// the row names. Items the card did not hold when the snapshot was taken are left as they are
// now.
ReportRow RestoreCard(const carvex::DeviceRoot& root, int port, const CardSnapshot& snapshot,
                      const std::filesystem::path& snapshot_file, const RestoreRequest& request,
                      const std::filesystem::path& log, ProgressBoard& board);

}  // namespace carvexctl
