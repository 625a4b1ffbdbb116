#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "cardwork/card/work_step.h"

namespace cardwright {

// Where a station's slot is: no card; a card waiting for a free job (or for room on the disk);
// a card being worked; a card whose work ended, waiting to be unplugged.
enum class SlotState { kIdle, kWaiting, kWorking, kPass, kFail, kDoneEarlier };

// The slots of a station (by the COM number of the PC UI interface, which the publisher keeps
// with the USB port the card is in, its modem's beside it) and what each card in them is at:
// which plug is a new card and which is the same card away for its restart.
//
// A card that goes and comes back while it is worked is its restart, when its work is at the
// restart or awaiting its return; at any other step it was pulled out, and if it is back when
// its work has ended (as gone), it is worked again. A card whose work has ended stays in its
// slot until it is unplugged; only a card plugged in after that is a new one.
class StationSlots {
  public:
    // The slots that list a card now. A slot seen for the first time is made.
    void Listed(const std::set<int>& present);
    // The next card waiting to be begun, in the order they were plugged in.
    std::optional<int> NextWaiting() const;
    void Begin(int port);
    void Step(int port, WorkStep step);
    // The card's work has ended with `state` (pass, fail, done earlier).
    void End(int port, SlotState state);

    SlotState StateOf(int port) const;
    bool Present(int port) const;
    // Whether the card went away during its work at another step than its restart.
    bool Pulled(int port) const;
    size_t Working() const;
    std::vector<int> Ports() const;

  private:
    struct Slot {
        SlotState state = SlotState::kIdle;
        bool present = false;
        bool pulled = false;
        std::optional<WorkStep> step;
    };

    void Wait(int port, Slot& slot);

    std::map<int, Slot> slots_;
    std::vector<int> waiting_;  // in the order plugged in
};

}  // namespace cardwright
