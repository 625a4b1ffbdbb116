#pragma once

#include <memory>
#include <string>

#include "cardsim/simulated_card.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// The example card's profile, as the demo plays it.
inline cardsim::CardProfile ExampleProfile() {
    return cardsim::LoadProfile(std::string(CARDWRIGHT_EXAMPLES_DIR) + "/card.profile");
}

// A simulated card in a device root of its own, with a state file in a temporary folder.
struct CardUnderTest {
    explicit CardUnderTest(cardsim::CardProfile profile, int time_scale = 1) {
        cardsim::SimulatedCard::Options options;
        options.profile = std::move(profile);
        options.state_file = state_dir.Path() / "card.nv";
        options.time_scale = time_scale;
        card = std::make_unique<cardsim::SimulatedCard>(std::move(options));
    }

    TempDir state_dir;
    std::unique_ptr<cardsim::SimulatedCard> card;
};

}  // namespace testsupport
