#pragma once

#include <string>

#include "cardwork/batch/card_record.h"
#include "cardwork/card/progress_sink.h"
#include "cardwork/station/station_slots.h"

namespace cardwright {

// A slot as the station shows it.
struct SlotView {
    std::string port;   // "COM12": the PC UI interface, which names the slot
    std::string modem;  // "COM13"; empty when the root names none
    SlotState state = SlotState::kIdle;
    // "idle", "waiting: ...", the step of the work ("Writing 3 of 20: Band"), the result
    // ("ok", "failed at writing: gone"), "done earlier: unplug it".
    std::string text;
    std::string imei;  // once the card has told it
};

// What a station has come to so far.
struct StationCounts {
    size_t ok = 0;
    size_t failed = 0;   // failed, a read-back that differs, broken off
    size_t refused = 0;  // no IMEI, refused by the before-hook, ...
    size_t done_earlier = 0;
    double cards_per_hour = 0;  // cards whose work ended (done earlier apart), since the start

    bool AllOk() const { return failed == 0 && refused == 0; }
};

// Who is told what a station does (its board, a stream of events for scripts). Called from the
// station's own thread and from the cards' threads; calls may come at the same time.
class StationListener {
  public:
    virtual ~StationListener() = default;
    virtual void SlotChanged(const SlotView& slot) = 0;
    virtual void Progress(const SlotView& slot, const WorkProgress& progress) = 0;
    virtual void CardEnded(const SlotView& slot, const CardRecord& record,
                           const StationCounts& counts) = 0;
    // What the whole station does or cannot do ("no new card is started: ...").
    virtual void Notice(const std::string& text) = 0;
};

}  // namespace cardwright
