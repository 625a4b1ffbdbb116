#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

#include "cardsim/simulated_card.h"
#include "tests/support/test_data.h"

namespace testsupport {

// What a card holds that a Write can change: every NV item the test card knows of, the LED
// items, and the port setting.
struct CardState {
    std::map<uint16_t, std::optional<cardsim::NvValue>> nv;
    std::pair<uint8_t, uint8_t> port_setting;
    friend bool operator==(const CardState&, const CardState&) = default;
};

inline CardState StateOf(const cardsim::SimulatedCard& card) {
    const auto profile = TestProfile();
    CardState state{{}, card.PortSetting()};
    for (const auto& [item, value] : profile.nv) {
        state.nv[item] = card.Nv(item);
    }
    for (const uint16_t item : profile.inactive) {
        state.nv[item] = card.Nv(item);
    }
    return state;
}

// The same without the item that tells cards apart (the IMEI): what two cards given the same
// setting file must agree on.
inline CardState ConfigurationOf(const cardsim::SimulatedCard& card) {
    CardState state = StateOf(card);
    state.nv.erase(550);
    return state;
}

}  // namespace testsupport
