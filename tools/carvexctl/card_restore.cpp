#include "tools/carvexctl/card_restore.h"

#include <array>

#include "cardwork/card/card_reader.h"
#include "cardwork/model/imei.h"
#include "carvex/carvex.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/card_job.h"
#include "tools/carvexctl/card_session.h"
#include "tools/carvexctl/card_snapshot.h"
#include "tools/carvexctl/snapshot.h"

namespace carvexctl {

using cardwright::WorkOutcome;
using cardwright::WorkResult;
using cardwright::WorkStep;

namespace {

// The items the snapshot holds the bytes of, the LED items last.
std::vector<SavedNvItem> ItemsToWrite(const CardSnapshot& snapshot) {
    std::vector<SavedNvItem> items;
    for (const auto* list : {&snapshot.nv_items, &snapshot.led_items}) {
        for (const SavedNvItem& saved : *list) {
            if (saved.data) {
                items.push_back(saved);
            }
        }
    }
    return items;
}

// One thing the restore leaves as it is: in words, and as the report's mismatches name it.
struct LeftAsItIs {
    std::string words;     // "NV item 60000", "the port setting"
    std::string mismatch;  // "60000", "port setting"
};

// What the restore cannot put back as it was: the items the card did not hold when the snapshot
// was taken but holds now (a write since made them active, and no write makes an item inactive),
// and a port setting where the snapshot holds none. Each is logged.
std::vector<LeftAsItIs> LeftAsTheyAre(const CardSnapshot& snapshot, CardJob& job) {
    std::vector<LeftAsItIs> left;
    for (const auto* list : {&snapshot.nv_items, &snapshot.led_items}) {
        for (const SavedNvItem& saved : *list) {
            if (saved.data) {
                continue;
            }
            SavedNvItem now;
            const bool read = !ReadSavedItem(job.Card(), saved.item, now);
            if (read && now.data) {
                left.push_back(
                    {"NV item " + std::to_string(saved.item), std::to_string(saved.item)});
                job.Log().AddLog("NV item " + std::to_string(saved.item) +
                                 " was not active on the card when the snapshot was taken, and "
                                 "is now: it is left as it is...");
            } else {
                job.Log().AddLog("NV item " + std::to_string(saved.item) +
                                 " was not active on the card when the snapshot was taken...");
            }
        }
    }
    if (!snapshot.port_setting) {
        const CardPortSetting now = ReadCardPortSetting(job.Card());
        if (!now.answered || now.setting) {
            left.push_back({"the port setting", "port setting"});
            job.Log().AddLog("The snapshot holds no port setting: the card's is left as it is...");
        }
    }
    return left;
}

// The restore's result with what it left as it is named. The card then differs from the
// snapshot, so a restore that put back everything it could is still a mismatch: a script that
// checks the exit status is not told the card is as it was.
WorkResult Naming(WorkResult result, const std::vector<LeftAsItIs>& left, ReportRow& row) {
    if (left.empty() || result.outcome == WorkOutcome::kFailed) {
        return result;
    }
    std::string names;
    for (const LeftAsItIs& thing : left) {
        names += (names.empty() ? "" : ", ") + thing.words;
        row.mismatches.push_back(thing.mismatch);
    }
    result.outcome = WorkOutcome::kMismatch;
    result.note = "not put back, as the snapshot holds none: " + names;
    return result;
}

}  // namespace

ReportRow RestoreCard(const carvex::DeviceRoot& root, int port, const CardSnapshot& snapshot,
                      const std::filesystem::path& snapshot_file, const RestoreRequest& request,
                      const std::filesystem::path& log, ProgressBoard& board) {
    CardJob job(root, port, log, board, 0);
    if (!job.LogFailure().empty()) {
        return job.Finish(WorkResult::Failed(WorkStep::kOpeningLog, job.LogFailure()));
    }
    job.Progress().Say("Opening the card...");
    if (!job.Card().Open()) {
        job.Log().AddLog("Init port failed");
        return job.Finish(WorkResult::Failed(WorkStep::kOpeningCard, job.Card().Trouble()));
    }
    job.Log().AddLog("Init port succeed...");

    job.Progress().Say("Reading the card's identity...");
    cardwright::CardAccess& card = job.Card();
    std::array<uint8_t, CARVEX_IMEI_LENGTH> imei{};
    int32_t status = 0;
    if (card.ReadImei(imei, status)) {
        job.row.imei = cardwright::DecodeImei(imei);
    }
    const CardIdentity identity = ReadCardIdentity(card);
    job.row.firmware = identity.firmware;
    job.row.card_type = identity.card_type;
    if (job.row.imei != snapshot.imei) {
        const std::string other = "the card's IMEI is " +
                                  (job.row.imei.empty() ? std::string("unknown") : job.row.imei) +
                                  ", the snapshot's " + snapshot.imei;
        if (!request.force) {
            job.Log().AddLog("Another card than the snapshot's: " + other + "...");
            return job.Finish(
                WorkResult::Refused(WorkStep::kCheckingCardType, "another card (" + other + ")"));
        }
        job.Log().AddLog("Restored onto another card than the snapshot's, as asked: " + other +
                         "...");
    }

    const std::vector<SavedNvItem> items = ItemsToWrite(snapshot);
    const std::vector<LeftAsItIs> left = LeftAsTheyAre(snapshot, job);
    // The card as it is now, before anything is written back: the restore can be undone too.
    CardWrites plan;
    for (const SavedNvItem& saved : items) {
        plan.order.push_back(saved.item);
        plan.nv[saved.item] = *saved.data;
    }
    plan.port_setting = snapshot.port_setting;
    if (const auto failure = SaveSnapshotBeforeWrite(job, plan, request.snapshots, snapshot_file)) {
        job.Log().AddLog("No snapshot of the card before the restore: " + *failure + "...");
        // A card without a usable IMEI (a blank one, the usual reason to force) can have no
        // snapshot a restore would take; forced, it is restored without one.
        if (!request.force || IsSnapshotImei(job.row.imei)) {
            return job.Finish(WorkResult::Failed(WorkStep::kTakingSnapshot, *failure));
        }
        job.Log().AddLog("Restoring without a snapshot, as asked...");
    }
    job.Log().AddLog("Restoring the card from " + snapshot_file.string() + "...");

    RecordingCard recorder(card, RecordingCard::Writes::kSend);
    const auto failed = [&](const std::string& why) {
        job.Log().AddLog(why + "...");
        job.row.nv_written = recorder.Written().nv.size();
        return job.Finish(WorkResult::Failed(
            WorkStep::kWritingItem, recorder.Written().nv.empty()
                                        ? why
                                        : why + "; what was written before stays on the card"));
    };
    for (size_t i = 0; i < items.size(); ++i) {
        job.Progress().Say("Restoring " + std::to_string(i + 1) + " of " +
                           std::to_string(items.size()) + ": NV item " +
                           std::to_string(items[i].item));
        if (!recorder.WriteNv(items[i].item, *items[i].data)) {
            return failed(*recorder.Written().failure);
        }
        job.Log().AddLog("NV item " + std::to_string(items[i].item) + " restored...");
    }
    if (snapshot.port_setting) {
        if (!recorder.WritePortSetting(*snapshot.port_setting, status)) {
            return failed(*recorder.Written().failure);
        }
        job.Log().AddLog("Write port setting succeed...");
    }
    job.row.nv_written = recorder.Written().nv.size();
    job.Progress().Say("Backing up the card's NV items...");
    job.Log().AddLog("Start BackupNVItems...");
    if (!recorder.Backup(status)) {
        return failed(*recorder.Written().failure);
    }
    job.Log().AddLog("BackupNVItems succed...");
    if (request.restart) {
        job.Progress().Say("Restarting the card...");
        job.Log().AddLog("Restarting datacard...");
        recorder.Restart();
    }
    return job.Finish(Naming(
        AwaitAndReadBack(job, recorder.Written(), request.restart, request.limits), left, job.row));
}

}  // namespace carvexctl
