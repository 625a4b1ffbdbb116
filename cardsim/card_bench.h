#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cardsim/bench_publisher.h"
#include "cardsim/card_profile.h"
#include "cardsim/simulated_card.h"

namespace cardsim {

// A card to plug into the next free slot.
struct PlugRequest {
    std::optional<std::string> imei;               // 15 digits; default: the slot's own
    std::optional<std::filesystem::path> profile;  // default: the bench's
};

// One slot and its card, as the control channel lists it.
struct CardStatus {
    int number = 0;
    CardPresence presence = CardPresence::kPlugged;
    int pcui_port = 0;
    int modem_port = 0;
    std::optional<std::string> imei;  // what the card answers now
};

// Several simulated cards plugged into one machine, published in one device root as the driver
// publishes several cards: card k (from 1) answers as the profile's card with an identity and COM
// numbers of its own, and each card runs, restarts and fails on its own.
//
// Card k sits in slot k for the whole run: its COM numbers, its driver names (" #k") and its state
// file belong to the slot. Unplugged, it leaves its slot empty and keeps it, so that Replug puts
// the same card back there; Plug takes the slot after the last one. The device lists hold the
// cards present, without a gap whichever card went (BenchPublisher).
class CardBench {
  public:
    static constexpr int kMaxCards = 99;

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
    // How many slots hold a card, plugged in or not.
    int Size() const;
    // Card `number`, from 1; it lives as long as the bench.
    SimulatedCard& Card(int number);

    // These may be called from any thread; each returns once the device root shows the change,
    // and throws std::invalid_argument, saying why in words, for what cannot be done ("no card
    // 7: cards are 1 to 4"), or std::runtime_error when the card cannot be made.
    // A new card in the next free slot, with the slot's identity (or the IMEI asked for), its own
    // interfaces and state file; its number.
    int Plug(const PlugRequest& request);
    // The card pulled out of its slot (Unplug), or put back into it (Replug).
    CardStatus Unplug(int number);
    CardStatus Replug(int number);
    std::vector<CardStatus> Status() const;
    CardStatus StatusOf(int number) const;

    // How far apart the cards' COM numbers lie: the span of the profile's COM numbers rounded up
    // to tens, so card k's are the first card's plus (k - 1) times this.
    static int ComStride(const CardProfile& first);
    // Card `number` of a bench whose first card is `first`: its IMEI's serial number, ESN and COM
    // numbers advanced by number - 1 (the IMEI with its check digit made right), and its driver
    // names marked " #number" as the driver marks a second and further card.
    static CardProfile ProfileOf(const CardProfile& first, int number);
    // "card.nv" for the first card, "card-2.nv", "card-3.nv", ... for the others.
    static std::filesystem::path StateFileOf(const std::filesystem::path& first, int number);
    // The state file of a card plugged in later: named after its profile ("other-5.nv") when it
    // has one of its own, and after its IMEI ("card-356789012345672.nv") when one was asked for,
    // so that a card keeps its items whichever slot it is plugged into.
    static std::filesystem::path StateFileOf(const std::filesystem::path& first, int number,
                                             const PlugRequest& request);

  private:
    void AddCard(CardProfile profile, int number, std::optional<std::filesystem::path> state);
    SimulatedCard& CardLocked(int number, std::string_view command) const;
    void RemoveCards();

    Options options_;
    std::optional<std::filesystem::path> owned_root_;
    std::shared_ptr<BenchPublisher> publisher_;
    mutable std::mutex mutex_;  // cards_, and one plug at a time
    std::vector<std::unique_ptr<SimulatedCard>> cards_;
};

}  // namespace cardsim
