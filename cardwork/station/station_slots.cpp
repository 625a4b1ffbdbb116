#include "cardwork/station/station_slots.h"

#include <algorithm>

namespace cardwright {

namespace {

// The steps during which a card is away for its restart by its own doing.
bool Restarting(const std::optional<WorkStep>& step) {
    return step == WorkStep::kRestarting || step == WorkStep::kAwaitingReturn;
}

}  // namespace

void StationSlots::Wait(int port, Slot& slot) {
    slot.state = SlotState::kWaiting;
    slot.pulled = false;
    slot.step.reset();
    waiting_.push_back(port);
}

void StationSlots::Listed(const std::set<int>& present) {
    for (const int port : present) {
        slots_.try_emplace(port);
    }
    for (auto& [port, slot] : slots_) {
        const bool now = present.contains(port);
        const bool went = !now && slot.present;
        slot.present = now;
        switch (slot.state) {
            case SlotState::kIdle:
                if (now) {
                    Wait(port, slot);
                }
                break;
            case SlotState::kWaiting:
                if (!now) {
                    slot.state = SlotState::kIdle;
                    std::erase(waiting_, port);
                }
                break;
            case SlotState::kWorking:
                if (went && !Restarting(slot.step)) {
                    slot.pulled = true;
                }
                break;
            case SlotState::kPass:
            case SlotState::kFail:
            case SlotState::kDoneEarlier:
                if (!now) {
                    slot.state = SlotState::kIdle;
                }
                break;
        }
    }
}

std::optional<int> StationSlots::NextWaiting() const {
    if (waiting_.empty()) {
        return std::nullopt;
    }
    return waiting_.front();
}

void StationSlots::Begin(int port) {
    std::erase(waiting_, port);
    Slot& slot = slots_[port];
    slot.state = SlotState::kWorking;
    slot.pulled = false;
    slot.step.reset();
}

void StationSlots::Step(int port, WorkStep step) {
    if (const auto slot = slots_.find(port); slot != slots_.end()) {
        slot->second.step = step;
    }
}

void StationSlots::End(int port, SlotState state) {
    Slot& slot = slots_[port];
    if (!slot.present) {
        slot.state = SlotState::kIdle;
    } else if (slot.pulled) {
        Wait(port, slot);  // pulled out during its work and plugged in again
    } else {
        slot.state = state;
    }
}

SlotState StationSlots::StateOf(int port) const {
    const auto slot = slots_.find(port);
    return slot == slots_.end() ? SlotState::kIdle : slot->second.state;
}

bool StationSlots::Present(int port) const {
    const auto slot = slots_.find(port);
    return slot != slots_.end() && slot->second.present;
}

bool StationSlots::Pulled(int port) const {
    const auto slot = slots_.find(port);
    return slot != slots_.end() && slot->second.pulled;
}

size_t StationSlots::Working() const {
    return static_cast<size_t>(std::count_if(slots_.begin(), slots_.end(), [](const auto& entry) {
        return entry.second.state == SlotState::kWorking;
    }));
}

std::vector<int> StationSlots::Ports() const {
    std::vector<int> ports;
    for (const auto& entry : slots_) {
        ports.push_back(entry.first);
    }
    return ports;
}

}  // namespace cardwright
