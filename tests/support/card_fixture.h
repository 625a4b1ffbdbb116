#pragma once

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cardsim/simulated_card.h"
#include "carvex/carvex.h"
#include "carvex/platform/environment.h"
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

// The requests of one kind a card received, in order.
inline std::vector<cardsim::ReceivedRequest> RequestsOf(const cardsim::SimulatedCard& card,
                                                        cardsim::Command command) {
    std::vector<cardsim::ReceivedRequest> found;
    for (const auto& request : card.Requests()) {
        if (request.command == command) {
            found.push_back(request);
        }
    }
    return found;
}

// The NV items a card was asked to read or write (`command`), in order.
inline std::vector<uint16_t> NvItemsOf(const cardsim::SimulatedCard& card,
                                       cardsim::Command command = cardsim::Command::kNvWrite) {
    std::vector<uint16_t> items;
    for (const auto& request : RequestsOf(card, command)) {
        if (request.bytes.size() >= 3) {
            items.push_back(static_cast<uint16_t>(request.bytes[1] | (request.bytes[2] << 8)));
        }
    }
    return items;
}

// A simulated card plugged in where the library's exports look for cards (CARVEX_ROOT names its
// device root), or pulled out again. The library's connection is closed before the card changes
// and when the object goes.
class PluggedCard {
  public:
    PluggedCard() = default;
    ~PluggedCard() {
        CloseCommPort();
        carvex::RemoveEnvironmentValue("CARVEX_ROOT");
    }
    PluggedCard(const PluggedCard&) = delete;
    PluggedCard& operator=(const PluggedCard&) = delete;

    void Plug(cardsim::CardProfile profile, int time_scale) {
        CloseCommPort();
        sim_.reset();
        sim_ = std::make_unique<CardUnderTest>(std::move(profile), time_scale);
        carvex::SetEnvironmentValue("CARVEX_ROOT", sim_->card->Root().Path().string());
    }
    // The card goes, and with it its device root: the library then finds no card.
    void Pull() {
        CloseCommPort();
        sim_.reset();
        carvex::SetEnvironmentValue("CARVEX_ROOT", (empty_root_.Path() / "no-card").string());
    }

    cardsim::SimulatedCard& Card() { return *sim_->card; }
    const cardsim::SimulatedCard& Card() const { return *sim_->card; }

    // The requests of one kind the card received, in order.
    std::vector<cardsim::ReceivedRequest> Requests(cardsim::Command command) const {
        return RequestsOf(Card(), command);
    }
    // The NV items the card was asked to write, in order.
    std::vector<uint16_t> NvWrites() const { return NvItemsOf(Card()); }

  private:
    TempDir empty_root_;
    std::unique_ptr<CardUnderTest> sim_;
};

}  // namespace testsupport
