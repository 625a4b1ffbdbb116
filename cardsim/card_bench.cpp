#include "cardsim/card_bench.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>
#include <string_view>

#include "cardsim/card_identity.h"

namespace cardsim {

namespace {

constexpr std::string_view kComMention = " (COM";
constexpr int kSerialModulus = 1000000;  // the IMEI's six-digit serial number

// Where " (COMn)" stands in a friendly name, and n.
struct ComMention {
    size_t at;
    size_t end;  // just past the ")"
    int number;
};

std::optional<ComMention> FindComMention(const std::string& name) {
    const size_t at = name.find(kComMention);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* digits = name.data() + at + kComMention.size();
    const char* last = name.data() + name.size();
    int number = 0;
    const auto [end, error] = std::from_chars(digits, last, number);
    if (error != std::errc() || end == last || *end != ')') {
        return std::nullopt;
    }
    return ComMention{at, static_cast<size_t>(end - name.data()) + 1, number};
}

std::string Marked(const std::string& name, int number, int com_shift) {
    const std::string mark = " #" + std::to_string(number);
    const auto com = FindComMention(name);
    if (!com) {
        return name + mark;
    }
    return name.substr(0, com->at) + mark + std::string(kComMention) +
           std::to_string(com->number + com_shift) + ")" + name.substr(com->end);
}

}  // namespace

int CardBench::ComStride(const CardProfile& first) {
    int low = std::min(first.pcui_port, first.modem_port);
    int high = std::max(first.pcui_port, first.modem_port);
    for (const std::string& name : first.other_ports) {
        if (const auto com = FindComMention(name)) {
            low = std::min(low, com->number);
            high = std::max(high, com->number);
        }
    }
    return std::max(10, (high - low + 1 + 9) / 10 * 10);
}

CardProfile CardBench::ProfileOf(const CardProfile& first, int number) {
    CardProfile card = first;
    if (number <= 1) {
        return card;
    }
    const int shift = ComStride(first) * (number - 1);
    card.pcui_port += shift;
    card.modem_port += shift;
    card.pcui_name = Marked(first.pcui_name, number, shift);
    card.modem_name = Marked(first.modem_name, number, shift);
    for (std::string& name : card.other_ports) {
        name = Marked(name, number, shift);
    }
    if (!card.usb_device.empty()) {
        card.usb_device += "." + std::to_string(number);  // the next port of a hub
    }
    if (const auto imei = ProfileImei(first)) {
        const int serial = (std::stoi(imei->substr(8, 6)) + number - 1) % kSerialModulus;
        std::string digits = imei->substr(0, 8) + std::to_string(kSerialModulus + serial).substr(1);
        digits += ImeiCheckDigit(digits);
        card.nv[kImeiItem] = EncodeImei(digits);
    }
    if (first.tool_replies.esn) {
        const uint32_t esn = *first.tool_replies.esn;
        card.tool_replies.esn =
            (esn & 0xFF000000) | ((esn + static_cast<uint32_t>(number - 1)) & 0x00FFFFFF);
    }
    return card;
}

std::filesystem::path CardBench::StateFileOf(const std::filesystem::path& first, int number) {
    if (number <= 1) {
        return first;
    }
    std::filesystem::path file = first;
    file.replace_filename(first.stem().string() + "-" + std::to_string(number) +
                          first.extension().string());
    return file;
}

std::filesystem::path CardBench::StateFileOf(const std::filesystem::path& first, int number,
                                             const PlugRequest& request) {
    std::filesystem::path file = StateFileOf(first, number);
    if (!request.imei && !request.profile) {
        return file;
    }
    const std::string stem =
        request.profile ? request.profile->stem().string() : first.stem().string();
    const std::string suffix = request.imei ? *request.imei : std::to_string(number);
    file.replace_filename(stem + "-" + suffix + first.extension().string());
    return file;
}

CardBench::CardBench(Options options) : options_(std::move(options)) {
    if (options_.cards < 1 || options_.cards > kMaxCards) {
        throw std::invalid_argument("a bench has 1 to " + std::to_string(kMaxCards) + " cards");
    }
    if (!options_.root) {
        owned_root_ = MakeTemporaryRoot();
    }
    publisher_ = std::make_shared<BenchPublisher>(
        carvex::DeviceRoot(options_.root ? *options_.root : *owned_root_));
    try {
        const BenchPublisher::Batch batch(*publisher_);
        for (int number = 1; number <= options_.cards; ++number) {
            AddCard(ProfileOf(options_.profile, number), number,
                    options_.state_file ? std::optional(StateFileOf(*options_.state_file, number))
                                        : std::nullopt);
        }
    } catch (...) {
        RemoveCards();
        throw;
    }
}

CardBench::~CardBench() {
    RemoveCards();
}

// The cards end together: each withdrawn from the lists on its own, they would be rewritten once
// for every card, and a shutdown would take longer the more cards there are.
void CardBench::RemoveCards() {
    {
        const BenchPublisher::Batch batch(*publisher_);
        for (const auto& card : cards_) {
            card->Stop();
        }
        cards_.clear();
    }
    if (owned_root_) {
        std::error_code ignored;
        std::filesystem::remove_all(*owned_root_, ignored);
    }
}

void CardBench::AddCard(CardProfile profile, int number,
                        std::optional<std::filesystem::path> state) {
    SimulatedCard::Options card;
    card.profile = std::move(profile);
    card.state_file = std::move(state);
    card.time_scale = options_.time_scale;
    card.bench = publisher_;
    card.card_number = number;
    cards_.push_back(std::make_unique<SimulatedCard>(std::move(card)));
}

int CardBench::Size() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(cards_.size());
}

SimulatedCard& CardBench::Card(int number) {
    std::lock_guard lock(mutex_);
    return *cards_.at(static_cast<size_t>(number - 1));
}

SimulatedCard& CardBench::CardLocked(int number, std::string_view command) const {
    if (number < 1 || number > static_cast<int>(cards_.size())) {
        throw std::invalid_argument(std::string(command) + ": no card " + std::to_string(number) +
                                    (cards_.size() == 1
                                         ? ": the only card is 1"
                                         : ": cards are 1 to " + std::to_string(cards_.size())));
    }
    return *cards_[static_cast<size_t>(number - 1)];
}

int CardBench::Plug(const PlugRequest& request) {
    std::lock_guard lock(mutex_);
    const int number = static_cast<int>(cards_.size()) + 1;
    if (number > kMaxCards) {
        throw std::invalid_argument("plug: every slot holds a card (" + std::to_string(kMaxCards) +
                                    "); replug one of them");
    }
    if (request.imei && (request.imei->size() != 15 ||
                         request.imei->find_first_not_of("0123456789") != std::string::npos)) {
        throw std::invalid_argument("plug: an IMEI has 15 digits, not \"" + *request.imei + "\"");
    }
    CardProfile profile = options_.profile;
    if (request.profile) {
        try {
            profile = LoadProfile(*request.profile);
        } catch (const std::runtime_error& e) {
            throw std::invalid_argument("plug: " + std::string(e.what()));
        }
    }
    profile = ProfileOf(profile, number);
    if (request.imei) {
        profile.nv[kImeiItem] = EncodeImei(*request.imei);
    }
    // COM numbers stay with their slot: a card of another profile must not take another's.
    for (const auto& other : cards_) {
        for (const int port : {profile.pcui_port, profile.modem_port}) {
            if (port == other->PcUiPort() || port == other->ModemPort()) {
                throw std::invalid_argument("plug: the card would be on " + carvex::ComName(port) +
                                            ", which is card " +
                                            std::to_string(&other - cards_.data() + 1) + "'s");
            }
        }
    }
    AddCard(std::move(profile), number,
            options_.state_file ? std::optional(StateFileOf(*options_.state_file, number, request))
                                : std::nullopt);
    return number;
}

CardStatus CardBench::Unplug(int number) {
    SimulatedCard* card = nullptr;
    {
        std::lock_guard lock(mutex_);
        card = &CardLocked(number, "unplug");
    }
    if (card->Unplug() == CardPresence::kUnplugged) {
        throw std::invalid_argument("unplug: card " + std::to_string(number) +
                                    " is unplugged already");
    }
    return StatusOf(number);
}

CardStatus CardBench::Replug(int number) {
    SimulatedCard* card = nullptr;
    {
        std::lock_guard lock(mutex_);
        card = &CardLocked(number, "replug");
    }
    const CardPresence before = card->Replug();
    if (before == CardPresence::kPlugged || before == CardPresence::kRestarting) {
        throw std::invalid_argument("replug: card " + std::to_string(number) +
                                    (before == CardPresence::kPlugged
                                         ? " is plugged in; unplug it first"
                                         : " is restarting and comes back by itself"));
    }
    return StatusOf(number);
}

CardStatus CardBench::StatusOf(int number) const {
    std::lock_guard lock(mutex_);
    const SimulatedCard& card = CardLocked(number, "list");
    const auto imei = card.Nv(kImeiItem);
    return {number, card.Presence(), card.PcUiPort(), card.ModemPort(),
            imei ? DecodeImei(*imei) : std::nullopt};
}

std::vector<CardStatus> CardBench::Status() const {
    std::vector<CardStatus> cards;
    for (int number = 1; number <= Size(); ++number) {
        cards.push_back(StatusOf(number));
    }
    return cards;
}

}  // namespace cardsim
