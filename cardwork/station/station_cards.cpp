#include "cardwork/station/station_cards.h"

#include "cardwork/json/json_document.h"
#include "cardwork/records/record_output.h"
#include "carvex/link/port_discovery.h"
#include "carvex/platform/hook_process.h"

namespace cardwright {

namespace {

bool Listed(const carvex::DeviceRoot& root, const std::string& port) {
    for (const carvex::DiagPortEntry& entry : carvex::ListDiagPorts(root)) {
        if (carvex::ComName(entry.com) == port) {
            return true;
        }
    }
    return false;
}

// A card that failed and is no longer plugged in is gone, whatever the step found first (the
// port hung up, a reply that never came, a restart not awaited to its end): the record says just
// that, and the card's log keeps what the step found and what stays on the card.
WorkResult Gone(WorkResult result) {
    result.reason = "gone";
    return result;
}

}  // namespace

StationCards::StationCards(RecordStore& store, carvex::DeviceRoot root,
                           const StationRequest& request, Told& told)
    : store_(store),
      root_(std::move(root)),
      request_(request),
      told_(told),
      records_(store, this) {}

StationCards::~StationCards() {
    AwaitAfterHooks();
}

CardHooks StationCards::Hooks(const WorkStop& stop) {
    return {.observer = &records_, .records = this, .stop = &stop};
}

void StationCards::AwaitAfterHooks() {
    std::vector<AfterHook> running;
    {
        const std::lock_guard lock(mutex_);
        running.swap(after_hooks_);
    }
    for (AfterHook& hook : running) {
        hook.thread.join();
    }
}

void StationCards::Begin(const CardRecord& record) {
    records_.Begin(record);
}

void StationCards::Complete(const CardRecord& record) {
    CardRecord committed = record;
    // A real card's port hangs up before its entries go: the connection said so first.
    const bool said_gone = record.result.reason.find(" is gone") != std::string::npos;
    if (record.result.outcome == WorkOutcome::kFailed &&
        (said_gone || !Listed(root_, record.port))) {
        committed.result = Gone(record.result);
    }
    if (const auto unsaved = records_.Save(committed)) {
        // Said now, not only when the station stops: the slot shows the card's result, which
        // the records do not hold.
        told_.Notice(record.port + ": the record of IMEI " + record.imei +
                     " could not be saved: " + *unsaved +
                     (request_.hooks.after.empty() ? "" : "; its after-hook is not run"));
        return;
    }
    const std::lock_guard lock(mutex_);
    completed_[record.uuid] = std::move(committed);
}

void StationCards::Progress(const CardRecord& record, const WorkProgress& progress) {
    told_.Stepped(record, progress);
}

std::optional<WorkResult> StationCards::Admit(const CardRecord& record) {
    if (record.imei.empty()) {
        return WorkResult::Refused(WorkStep::kReadingCardInfo, std::string(kNoImei));
    }
    const bool again = request_.again || request_.again_imeis.contains(record.imei);
    if (!again && store_.HasOk(record.imei, record.run.settings_sha256)) {
        const std::lock_guard lock(mutex_);
        done_earlier_.insert(record.uuid);
        return WorkResult::Refused(WorkStep::kReadingCardInfo, std::string(kDoneEarlier));
    }
    return std::nullopt;
}

std::string StationCards::EarlierSnapshot(const CardRecord& record) {
    return store_.SnapshotBeforeUnfinishedWrite(record.imei, record.run.settings_sha256);
}

std::vector<std::string> StationCards::HookEnvironment(const CardRecord& record) const {
    return {"CARVEX_IMEI=" + record.imei,         "CARVEX_PORT=" + record.port,
            "CARVEX_FIRMWARE=" + record.firmware, "CARVEX_CARD_TYPE=" + record.card_type,
            "CARVEX_MODEL=" + record.card_type,   "CARVEX_STATION=" + request_.station};
}

std::optional<WorkResult> StationCards::BeforeWrite(const CardRecord& record) {
    if (request_.hooks.before.empty()) {
        return std::nullopt;
    }
    const carvex::HookEnd end = carvex::RunHook(request_.hooks.before, HookEnvironment(record), {},
                                                request_.hooks.timeout, &breaker_);
    if (end.Succeeded()) {
        return std::nullopt;
    }
    if (end.how == carvex::HookEnd::How::kBrokenOff) {
        return WorkResult::Interrupted(WorkStep::kTakingSnapshot);
    }
    const std::string line = end.FirstErrorLine();
    return WorkResult::Refused(
        WorkStep::kTakingSnapshot,
        "refused by the before-hook: " + (line.empty() || end.how == carvex::HookEnd::How::kTimedOut
                                              ? end.Words(request_.hooks.timeout)
                                              : line));
}

void StationCards::Ended(const CardRecord& record) {
    CardRecord committed = record;
    bool done_earlier = false;
    bool saved = false;
    {
        const std::lock_guard lock(mutex_);
        if (auto found = completed_.find(record.uuid); found != completed_.end()) {
            committed = std::move(found->second);
            completed_.erase(found);
            saved = true;
        }
        done_earlier = done_earlier_.erase(record.uuid) > 0;
    }
    const SlotState state = done_earlier         ? SlotState::kDoneEarlier
                            : record.result.Ok() ? SlotState::kPass
                                                 : SlotState::kFail;
    told_.Ended(committed, state);
    // The after-hook is given the record as the records hold it, never one they do not.
    if (!request_.hooks.after.empty() && !done_earlier && saved) {
        RunAfterHook(committed);
    }
}

void StationCards::RunAfterHook(const CardRecord& record) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([this, record, done] {
        const carvex::HookEnd end = carvex::RunHook(request_.hooks.after, HookEnvironment(record),
                                                    JsonLine(RecordJson(StoredOf(record))),
                                                    request_.hooks.timeout, &breaker_);
        std::string outcome = "ok";
        if (!end.Succeeded()) {
            const std::string line = end.FirstErrorLine();
            outcome =
                "failed: " + end.Words(request_.hooks.timeout) + (line.empty() ? "" : ": " + line);
            told_.Notice(record.port + ": the after-hook of IMEI " + record.imei + " " + outcome);
        }
        try {
            store_.SetAfterHook(record.uuid, outcome);
        } catch (const RecordStoreError& error) {
            told_.Notice(record.port +
                         ": what the after-hook came to could not be recorded: " + error.what());
        }
        done->store(true);
    });
    const std::lock_guard lock(mutex_);
    for (auto hook = after_hooks_.begin(); hook != after_hooks_.end();) {
        if (hook->done->load()) {
            hook->thread.join();
            hook = after_hooks_.erase(hook);
        } else {
            ++hook;
        }
    }
    after_hooks_.push_back({std::move(thread), std::move(done)});
}

}  // namespace cardwright
