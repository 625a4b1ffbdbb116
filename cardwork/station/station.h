#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cardwork/batch/batch_apply.h"
#include "cardwork/batch/work_stop.h"
#include "cardwork/records/record_store.h"
#include "cardwork/station/station_cards.h"
#include "cardwork/station/station_listener.h"
#include "cardwork/station/station_request.h"
#include "cardwork/station/station_slots.h"
#include "carvex/platform/device_root.h"
#include "carvex/platform/device_root_watch.h"

namespace cardwright {

// A station: every card plugged into the machine (or into the slots asked for) is worked as
// apply works it, once, each on a thread and a connection of its own, at most `jobs` at a
// time, and recorded; the device root is watched for cards coming and going. A card's restart
// is no new card, a card plugged in again after an ok write is not written again, a card
// pulled out during its work is recorded gone and worked again once it is back.
class Station : private StationCards::Told {
  public:
    // The write is `apply`'s; the records go into `store`. Both must outlive the station.
    Station(carvex::DeviceRoot root, const BatchApply& apply, RecordStore& store,
            StationRequest request, StationListener& listener);
    ~Station() override;
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Works the cards until `stop` is stopping, then no new card is begun and those being
    // worked are awaited (WorkStop gives them their grace), then the after-hooks. What came of
    // the cards.
    StationCounts Run(const WorkStop& stop);
    // Makes Run look at its stop now (after a signal); any thread may call it.
    void Wake();
    // Kills the hooks running and any begun from now on (the work is broken off); any thread.
    void BreakOffHooks() { cards_.BreakOffHooks(); }
    // The records that could not be written, a line each.
    std::vector<std::string> RecordFailures() const { return cards_.Failures(); }

  private:
    void Stepped(const CardRecord& record, const WorkProgress& progress) override;
    void Ended(const CardRecord& record, SlotState state) override;
    void Notice(const std::string& text) override;

    // Under mutex_.
    void LookAtRoot();
    void JoinEnded();
    bool BeginWaiting(const WorkStop& stop);
    void Show(int port, std::string text);
    SlotView& View(int port);
    std::optional<int> PortOf(const std::string& com_name) const;

    carvex::DeviceRoot root_;
    const BatchApply& apply_;
    StationRequest request_;
    StationListener& listener_;
    StationCards cards_;
    carvex::DeviceRootWatch watch_;
    std::chrono::steady_clock::time_point start_;

    std::mutex mutex_;
    StationSlots slots_;
    std::map<int, SlotView> views_;
    std::map<int, std::thread> workers_;
    std::vector<int> ended_;  // slots whose worker has ended, to be joined
    StationCounts counts_;
    std::string low_disk_;  // why no card is begun now; empty when there is room
};

// Where one of `folders` (each with what it holds) has less than `min_free` bytes free, in
// words ("12 MB free in /var/lib/carvex (records)"); empty when every one has room. A folder
// not made yet is judged by the nearest one above it that is.
std::string LowDiskSpace(const std::vector<std::pair<std::string, std::filesystem::path>>& folders,
                         uint64_t min_free);

}  // namespace cardwright
