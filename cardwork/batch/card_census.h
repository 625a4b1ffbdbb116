#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cardwork/batch/card_job.h"
#include "carvex/platform/device_root.h"

namespace cardwright {

// What a card of the device root said when asked who it is.
struct CardAnswer {
    int port = 0;
    std::optional<CardIdentity> identity;  // nullopt: it could not be opened
    std::string trouble;                   // why not, in a few words
    std::string borrowing;                 // what borrowing it from ModemManager came to
};

// The cards of `ports` asked who they are, all at once, each on a thread, a connection and a
// ModemManager borrow of its own; one answer per port, in order.
std::vector<CardAnswer> AskCards(const carvex::DeviceRoot& root, const std::vector<int>& ports);

// The one card among `cards` whose IMEI is `imei`; else why none is taken: none has it (the
// cards that could not be asked named, as it may be one of them), or several have it.
struct CardOfImei {
    std::optional<int> port;
    std::vector<int> several;  // the ports of the cards that have it, when more than one does
    std::string refusal;
};
CardOfImei FindCardOfImei(const std::vector<CardAnswer>& cards, std::string_view imei);

}  // namespace cardwright
