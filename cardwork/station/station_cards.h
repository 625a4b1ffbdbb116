#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cardwork/batch/card_job.h"
#include "cardwork/records/record_store.h"
#include "cardwork/records/run_records.h"
#include "cardwork/station/station_request.h"
#include "cardwork/station/station_slots.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/hook_process.h"

namespace cardwright {

// What a station makes of each card's work, between the batch work and the records: the card
// let in or not (no IMEI; done earlier with this file), the snapshot of an earlier attempt that
// wrote to it kept, the before-hook asked, a card that went away named "gone" in its record, and
// once the record is committed the after-hook run on a thread of its own (so that it holds up no
// slot). Called on the cards' threads.
class StationCards : public RecordSink, public CardObserver {
  public:
    // What the station is told of each card.
    class Told {
      public:
        virtual ~Told() = default;
        virtual void Stepped(const CardRecord& record, const WorkProgress& progress) = 0;
        virtual void Ended(const CardRecord& record, SlotState state) = 0;
        virtual void Notice(const std::string& text) = 0;
    };

    StationCards(RecordStore& store, carvex::DeviceRoot root, const StationRequest& request,
                 Told& told);
    // Waits for the after-hooks still running.
    ~StationCards() override;
    StationCards(const StationCards&) = delete;
    StationCards& operator=(const StationCards&) = delete;

    // What each card's work is given.
    CardHooks Hooks(const WorkStop& stop);
    // Waits for the after-hooks still running (each at most the hooks' time-out).
    void AwaitAfterHooks();
    // Kills the hooks running and any begun from now on: the work is broken off.
    void BreakOffHooks() { breaker_.BreakOff(); }
    // The records that could not be written, a line each.
    std::vector<std::string> Failures() const { return records_.Failures(); }

    void Begin(const CardRecord& record) override;
    void Complete(const CardRecord& record) override;

    void Progress(const CardRecord& record, const WorkProgress& progress) override;
    std::optional<WorkResult> Admit(const CardRecord& record) override;
    std::string EarlierSnapshot(const CardRecord& record) override;
    std::optional<WorkResult> BeforeWrite(const CardRecord& record) override;
    void Ended(const CardRecord& record) override;

    // "done earlier: unplug it": the reason a card with an ok record of the file is not written.
    static constexpr std::string_view kDoneEarlier = "done earlier: unplug it";
    static constexpr std::string_view kNoImei = "no IMEI: use apply --port";

  private:
    std::vector<std::string> HookEnvironment(const CardRecord& record) const;
    void RunAfterHook(const CardRecord& record);

    RecordStore& store_;
    carvex::DeviceRoot root_;
    const StationRequest& request_;
    Told& told_;
    carvex::HookBreaker breaker_;
    RunRecords records_;
    std::mutex mutex_;
    std::map<std::string, CardRecord> completed_;  // by UUID, as committed, until Ended
    std::set<std::string> done_earlier_;           // UUIDs
    struct AfterHook {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<AfterHook> after_hooks_;  // joined once done, when the next one starts
};

}  // namespace cardwright
