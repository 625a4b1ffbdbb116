#include "cardsim/card_bench.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

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

CardBench::CardBench(Options options) {
    if (options.cards < 1) {
        throw std::invalid_argument("a bench has at least one card");
    }
    if (!options.root) {
        owned_root_ = MakeTemporaryRoot();
    }
    publisher_ = std::make_shared<BenchPublisher>(
        carvex::DeviceRoot(options.root ? *options.root : *owned_root_));
    try {
        for (int number = 1; number <= options.cards; ++number) {
            SimulatedCard::Options card;
            card.profile = ProfileOf(options.profile, number);
            if (options.state_file) {
                card.state_file = StateFileOf(*options.state_file, number);
            }
            card.time_scale = options.time_scale;
            card.bench = publisher_;
            card.card_number = number;
            cards_.push_back(std::make_unique<SimulatedCard>(std::move(card)));
        }
    } catch (...) {
        RemoveCards();
        throw;
    }
}

CardBench::~CardBench() {
    RemoveCards();
}

void CardBench::RemoveCards() {
    cards_.clear();
    if (owned_root_) {
        std::error_code ignored;
        std::filesystem::remove_all(*owned_root_, ignored);
    }
}

}  // namespace cardsim
