#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "cardsim/bench_publisher.h"
#include "cardsim/card_profile.h"
#include "cardsim/simulated_card.h"

namespace cardsim {

// Several simulated cards plugged into one machine, published in one device root as the driver
// publishes several cards: card k (from 1) answers as the profile's card with an identity and COM
// numbers of its own, and each card runs, restarts and fails on its own.
class CardBench {
  public:
    struct Options {
        CardProfile profile;  // the first card's; the others' derive from it
        int cards = 1;
        std::optional<std::filesystem::path> root;        // default: a temporary one of its own
        std::optional<std::filesystem::path> state_file;  // the first card's; see StateFileOf
        int time_scale = 1;
    };

    explicit CardBench(Options options);
    ~CardBench();
    CardBench(const CardBench&) = delete;
    CardBench& operator=(const CardBench&) = delete;

    const carvex::DeviceRoot& Root() const { return publisher_->Root(); }
    int Size() const { return static_cast<int>(cards_.size()); }
    // Card `number`, from 1.
    SimulatedCard& Card(int number) { return *cards_.at(static_cast<size_t>(number - 1)); }

    // How far apart the cards' COM numbers lie: the span of the profile's COM numbers rounded up
    // to tens, so card k's are the first card's plus (k - 1) times this.
    static int ComStride(const CardProfile& first);
    // Card `number` of a bench whose first card is `first`: its IMEI's serial number, ESN and COM
    // numbers advanced by number - 1 (the IMEI with its check digit made right), and its driver
    // names marked " #number" as the driver marks a second and further card.
    static CardProfile ProfileOf(const CardProfile& first, int number);
    // "card.nv" for the first card, "card-2.nv", "card-3.nv", ... for the others.
    static std::filesystem::path StateFileOf(const std::filesystem::path& first, int number);

  private:
    void RemoveCards();

    std::optional<std::filesystem::path> owned_root_;
    std::shared_ptr<BenchPublisher> publisher_;
    std::vector<std::unique_ptr<SimulatedCard>> cards_;
};

}  // namespace cardsim
