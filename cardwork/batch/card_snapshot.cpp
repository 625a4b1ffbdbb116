#include "cardwork/batch/card_snapshot.h"

#include <algorithm>
#include <array>

#include "cardwork/batch/status_words.h"
#include "cardwork/batch/utc_text.h"
#include "cardwork/model/led_table.h"
#include "carvex/carvex.h"
#include "carvex/platform/clock.h"

namespace cardwright {

namespace fs = std::filesystem;
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

// Each NV item of the plan beside what the card holds of it, in the plan's order.
void NoteChanges(CardRecord& record, const CardWrites& plan, const std::vector<SavedNvItem>& held,
                 const std::optional<DeviceState>& held_setting, const CaptionsOfItem& captions) {
    record.items.clear();
    for (const int32_t item : plan.order) {
        const auto found = std::find_if(held.begin(), held.end(),
                                        [&](const SavedNvItem& s) { return s.item == item; });
        record.items.push_back({item, captions ? captions(item) : std::vector<std::string>{},
                                found == held.end() ? std::nullopt : found->data,
                                plan.nv.at(item)});
    }
    record.port_setting.reset();
    if (plan.port_setting) {
        record.port_setting = PortSettingChange{held_setting, *plan.port_setting};
    }
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

std::optional<std::string> ComparePlan(CardJob& job, const CardWrites& plan,
                                       const CaptionsOfItem& captions) {
    std::vector<SavedNvItem> held;
    for (const int32_t item : plan.order) {
        SavedNvItem saved;
        if (auto failure = ReadSavedItem(job.Card(), item, saved)) {
            return failure;
        }
        held.push_back(saved);
    }
    NoteChanges(job.record, plan, held, ReadCardPortSetting(job.Card()).setting, captions);
    return std::nullopt;
}

std::optional<std::string> SaveSnapshotBeforeWrite(CardJob& job, const CardWrites& plan,
                                                   const fs::path& folder, const fs::path& writing,
                                                   std::string_view command,
                                                   const CaptionsOfItem& captions) {
    job.Progress().Step(WorkStep::kTakingSnapshot);
    if (job.record.imei.empty()) {
        return "the card's IMEI could not be read";
    }
    // Restore takes no snapshot of another IMEI: such a card is not written at all.
    if (!IsSnapshotImei(job.record.imei)) {
        return "the card's IMEI \"" + job.record.imei + "\" is " + std::string(kNoSnapshotImei);
    }
    CardSnapshot snapshot;
    snapshot.imei = job.record.imei;
    snapshot.firmware = job.record.firmware;
    snapshot.card_type = job.record.card_type;
    snapshot.port = job.record.port;
    snapshot.taken = UtcText(carvex::GetClock().WallNow());
    snapshot.command = command;
    std::error_code error;
    snapshot.settings = fs::absolute(writing, error).string();
    if (auto failure = TakeSnapshot(job, plan, snapshot)) {
        return failure;
    }
    std::vector<SavedNvItem> held = snapshot.nv_items;
    held.insert(held.end(), snapshot.led_items.begin(), snapshot.led_items.end());
    NoteChanges(job.record, plan, held, snapshot.port_setting, captions);
    const SnapshotSaved saved = SaveSnapshot(folder, snapshot, carvex::GetClock().WallNow());
    if (!saved.file) {
        return saved.error;
    }
    job.record.snapshot = saved.file->string();
    job.Log().AddLog("Snapshot saved in " + job.record.snapshot + "...");
    return std::nullopt;
}

std::optional<std::string> KeepEarlierSnapshot(CardJob& job, const CardWrites& plan,
                                               const fs::path& earlier,
                                               const CaptionsOfItem& captions) {
    job.Progress().Step(WorkStep::kTakingSnapshot);
    const SnapshotRead read = LoadSnapshot(earlier);
    if (!read.snapshot) {
        return "the snapshot of an earlier attempt cannot be kept: " + read.error;
    }
    const CardSnapshot& snapshot = *read.snapshot;
    if (snapshot.imei != job.record.imei) {
        return "the snapshot of an earlier attempt, " + earlier.string() + ", is of IMEI " +
               snapshot.imei;
    }
    std::vector<SavedNvItem> held = snapshot.nv_items;
    held.insert(held.end(), snapshot.led_items.begin(), snapshot.led_items.end());
    for (const int32_t item : plan.order) {
        if (std::none_of(held.begin(), held.end(),
                         [item](const SavedNvItem& saved) { return saved.item == item; })) {
            return "the snapshot of an earlier attempt, " + earlier.string() +
                   ", holds no NV item " + std::to_string(item);
        }
    }
    NoteChanges(job.record, plan, held, snapshot.port_setting, captions);
    job.record.snapshot = earlier.string();
    job.Log().AddLog("An earlier attempt wrote to the card: its snapshot " + earlier.string() +
                     " holds the card as it was, and no new one is taken...");
    return std::nullopt;
}

}  // namespace cardwright
