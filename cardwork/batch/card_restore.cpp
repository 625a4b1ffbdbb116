#include "cardwork/batch/card_restore.h"

#include "cardwork/batch/card_snapshot.h"
#include "cardwork/batch/sha256.h"
#include "cardwork/card/card_writer.h"
#include "cardwork/model/ini_file.h"
#include "carvex/platform/whole_file.h"

namespace cardwright {

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
WorkResult Naming(WorkResult result, const std::vector<LeftAsItIs>& left, CardRecord& record) {
    if (left.empty() || result.outcome == WorkOutcome::kFailed) {
        return result;
    }
    std::string names;
    for (const LeftAsItIs& thing : left) {
        names += (names.empty() ? "" : ", ") + thing.words;
        record.mismatches.push_back(thing.mismatch);
    }
    result.outcome = WorkOutcome::kMismatch;
    result.note = "not put back, as the snapshot holds none: " + names;
    return result;
}

// The facts of a restore's run: the snapshot stands where a setting file would.
RunFacts RestoreFacts(RunFacts facts, const std::filesystem::path& snapshot_file) {
    facts.settings_file = snapshot_file.string();
    const carvex::WholeFile whole = carvex::ReadWholeFile(snapshot_file, IniFile::kMaxFileBytes);
    if (!whole.error) {
        facts.settings_sha256 = Sha256Hex(whole.content);
    }
    return facts;
}

// The card opened and told by its IMEI: a result when it is not to be restored (another card,
// unless forced), nullopt when it is.
std::optional<WorkResult> OpenAndIdentify(CardJob& job, const CardSnapshot& snapshot, bool force) {
    if (!job.Log().Failure().empty()) {
        return WorkResult::Failed(WorkStep::kOpeningLog, job.Log().Failure());
    }
    job.Progress().Step(WorkStep::kOpeningCard);
    if (!job.Card().Open()) {
        job.Log().AddLog("Init port failed");
        return WorkResult::Failed(WorkStep::kOpeningCard, job.Card().Trouble());
    }
    job.Log().AddLog("Init port succeed...");

    job.Progress().Step(WorkStep::kReadingCardInfo);
    const CardIdentity identity = ReadCardIdentity(job.Card());
    job.Identified(identity.imei, identity.firmware, identity.card_type);
    if (job.record.imei == snapshot.imei) {
        return std::nullopt;
    }
    const std::string other = "the card's IMEI is " +
                              (job.record.imei.empty() ? std::string("unknown") : job.record.imei) +
                              ", the snapshot's " + snapshot.imei;
    if (!force) {
        job.Log().AddLog("Another card than the snapshot's: " + other + "...");
        return WorkResult::Refused(WorkStep::kCheckingCardType, "another card (" + other + ")");
    }
    job.Log().AddLog("Restored onto another card than the snapshot's, as asked: " + other + "...");
    return std::nullopt;
}

// The snapshot's items and port setting written back, then the backup and the restart as the
// writer makes them at the end of its Write, then the read-back.
WorkResult WriteBack(CardJob& job, const CardWrites& plan, const RestoreRequest& request) {
    RecordingCard recorder(job.Card(), RecordingCard::Writes::kSend);
    const auto failed = [&](WorkResult result) {
        job.record.nv_written = recorder.Written().nv.size();
        if (!recorder.Written().nv.empty()) {
            result.reason = (result.reason.empty() ? "see the log" : result.reason) +
                            "; what was written before stays on the card";
        }
        return result;
    };
    const auto refused = [&] {
        job.Log().AddLog(*recorder.Written().failure + "...");
        return failed(WorkResult::Failed(WorkStep::kWritingItem, *recorder.Written().failure));
    };
    for (size_t i = 0; i < plan.order.size(); ++i) {
        const int32_t item = plan.order[i];
        const std::string caption = "NV item " + std::to_string(item);
        job.Progress().Report({WorkStep::kWritingItem, i + 1, plan.order.size(), caption});
        if (!recorder.WriteNv(item, plan.nv.at(item))) {
            return refused();
        }
        job.Log().AddLog(caption + " restored...");
    }
    if (plan.port_setting) {
        int32_t status = 0;
        if (!recorder.WritePortSetting(*plan.port_setting, status)) {
            return refused();
        }
        job.Log().AddLog("Write port setting succeed...");
    }
    job.record.nv_written = recorder.Written().nv.size();
    CardWriter writer({recorder, job.Log(), job.Progress(), job.View()});
    if (!writer.BackUpAndRestart(request.restart)) {
        return failed(writer.CardWorkResult());
    }
    return AwaitAndReadBack(job, recorder.Written(), request.restart, request.limits);
}

WorkResult Restore(CardJob& job, const CardSnapshot& snapshot,
                   const std::filesystem::path& snapshot_file, const RestoreRequest& request) {
    if (auto refused = OpenAndIdentify(job, snapshot, request.force)) {
        return *refused;
    }
    const std::vector<LeftAsItIs> left = LeftAsTheyAre(snapshot, job);
    CardWrites plan;
    for (const SavedNvItem& saved : ItemsToWrite(snapshot)) {
        plan.order.push_back(saved.item);
        plan.nv[saved.item] = *saved.data;
    }
    plan.port_setting = snapshot.port_setting;
    if (job.Stop().Stopping()) {
        job.Log().AddLog("Stopped (" + job.Stop().Why() +
                         ") before the first write: nothing was written...");
        return WorkResult::Interrupted(WorkStep::kTakingSnapshot);
    }
    // The card as it is now, before anything is written back: the restore can be undone too.
    if (const auto failure = SaveSnapshotBeforeWrite(job, plan, request.snapshots, snapshot_file,
                                                     "restore", nullptr)) {
        job.Log().AddLog("No snapshot of the card before the restore: " + *failure + "...");
        // A card without a usable IMEI (a blank one, the usual reason to force) can have no
        // snapshot a restore would take; forced, it is restored without one.
        if (!request.force || IsSnapshotImei(job.record.imei)) {
            return WorkResult::Failed(WorkStep::kTakingSnapshot, *failure);
        }
        job.Log().AddLog("Restoring without a snapshot, as asked...");
    }
    if (const auto held = job.Observer().BeforeWrite(job.record)) {
        return *held;
    }
    job.Log().AddLog("Restoring the card from " + snapshot_file.string() + "...");
    return Naming(WriteBack(job, plan, request), left, job.record);
}

}  // namespace

CardRecord RestoreCard(const carvex::DeviceRoot& root, int port, const CardSnapshot& snapshot,
                       const std::filesystem::path& snapshot_file, const RestoreRequest& request,
                       const CardHooks& hooks) {
    CardJob job(root, port, request.run_folder, RestoreFacts(request.facts, snapshot_file), hooks);
    try {
        job.Begin();
        return job.Finish(Restore(job, snapshot, snapshot_file, request));
    } catch (const std::exception& e) {
        job.Log().AddLog(std::string("The card's work ended: ") + e.what() + "...");
        return job.Finish(WorkResult::Failed(std::nullopt, e.what()));
    }
}

}  // namespace cardwright
