#pragma once

#include <filesystem>

#include "cardwork/batch/card_job.h"
#include "cardwork/batch/card_record.h"
#include "cardwork/batch/card_return.h"
#include "cardwork/batch/snapshot.h"
#include "carvex/platform/device_root.h"

namespace cardwright {

struct RestoreRequest {
    bool force = false;  // a card whose IMEI is not the snapshot's is restored too
    bool restart = true;
    ReturnLimits limits;
    std::filesystem::path snapshots;   // the folder for the snapshot taken before the first write
    std::filesystem::path run_folder;  // the card's log
    RunFacts facts;                    // the run's; the snapshot's name and SHA-256 are added
};

// Puts a card back as a snapshot found it: every NV item the snapshot holds the bytes of, its LED
// items and its port setting written back, then the writer's backup and restart and the
// read-back of everything written, as `apply` ends. A card whose IMEI is not the snapshot's is
// refused unless `force`; a card without an IMEI is told by its port, firmware and card type
// after its restart. Before the first write the card gets a snapshot of its own, as apply takes
// one, which the record names. Items the card did not hold when the snapshot was taken are left
// as they are now.
CardRecord RestoreCard(const carvex::DeviceRoot& root, int port, const CardSnapshot& snapshot,
                       const std::filesystem::path& snapshot_file, const RestoreRequest& request,
                       const CardHooks& hooks);

}  // namespace cardwright
