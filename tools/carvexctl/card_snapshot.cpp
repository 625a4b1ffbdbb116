#include "tools/carvexctl/card_snapshot.h"

#include <algorithm>
#include <array>

#include "cardwork/model/led_table.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"
#include "tools/carvexctl/card_session.h"
#include "tools/carvexctl/snapshot.h"

namespace carvexctl {

namespace fs = std::filesystem;
using namespace cardwright;

namespace {

constexpr std::array<int32_t, 2> kLedItems = {kLedFirstNvItem, kLedSecondNvItem};

bool IsLedItem(int32_t item) {
    return std::find(kLedItems.begin(), kLedItems.end(), item) != kLedItems.end();
}

// What the card holds of what the write will change (each of which must be saved), with the LED
// items and the port setting (saved when the card gives them).
std::optional<std::string> TakeSnapshot(CardJob& job, const CardWrites& plan,
                                        CardSnapshot& snapshot) {
    CardAccess& card = job.Card();
    for (const int32_t item : plan.order) {
        if (IsLedItem(item)) {
            continue;
        }
        SavedNvItem saved;
        if (auto failure = ReadSavedItem(card, item, saved)) {
            return failure;
        }
        snapshot.nv_items.push_back(saved);
    }
    for (const int32_t item : kLedItems) {
        SavedNvItem saved;
        if (auto failure = ReadSavedItem(card, item, saved); failure && plan.nv.contains(item)) {
            return failure;
        }
        snapshot.led_items.push_back(saved);
    }
    const CardPortSetting port_setting = ReadCardPortSetting(card);
    if (port_setting.answered) {
        // None when the card holds no valid one: restore then writes none.
        snapshot.port_setting = port_setting.setting;
        if (!port_setting.setting) {
            job.Log().AddLog("The card holds no valid port setting: the snapshot records none...");
        }
    } else if (plan.port_setting) {
        return "the port setting could not be read: " + DescribeStatus(port_setting.status);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ReadSavedItem(CardAccess& card, int32_t item, SavedNvItem& saved) {
    saved = {item, std::nullopt};
    NvData data{};
    int32_t status = 0;
    if (card.ReadNv(item, data, status)) {
        saved.data = data;
        return std::nullopt;
    }
    if (status == CARVEX_STATUS_INACTIVE) {
        return std::nullopt;
    }
    return "NV item " + std::to_string(item) +
           " could not be read: " + DescribeStatus(status, item);
}

std::optional<std::string> SaveSnapshotBeforeWrite(CardJob& job, const CardWrites& plan,
                                                   const fs::path& folder,
                                                   const fs::path& writing) {
    job.Progress().Say("Taking the snapshot...");
    if (job.row.imei.empty()) {
        return "the card's IMEI could not be read";
    }
    // Restore takes no snapshot of another IMEI: such a card is not written at all.
    if (!IsSnapshotImei(job.row.imei)) {
        return "the card's IMEI \"" + job.row.imei + "\" is " + std::string(kNoSnapshotImei);
    }
    CardSnapshot snapshot;
    snapshot.imei = job.row.imei;
    snapshot.firmware = job.row.firmware;
    snapshot.card_type = job.row.card_type;
    snapshot.port = job.row.port;
    snapshot.taken = UtcText(carvex::GetClock().WallNow());
    std::error_code error;
    snapshot.settings = fs::absolute(writing, error).string();
    if (auto failure = TakeSnapshot(job, plan, snapshot)) {
        return failure;
    }
    const SnapshotSaved saved = SaveSnapshot(folder, snapshot, carvex::GetClock().WallNow());
    if (!saved.file) {
        return saved.error;
    }
    job.row.snapshot = saved.file->string();
    job.Log().AddLog("Snapshot saved in " + job.row.snapshot + "...");
    return std::nullopt;
}

}  // namespace carvexctl
