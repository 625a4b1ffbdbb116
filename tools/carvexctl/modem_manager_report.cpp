#include "tools/carvexctl/modem_manager_report.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "carvex/link/port_discovery.h"
#include "carvex/platform/carvex_conf.h"
#include "carvex/platform/modem_manager.h"
#include "carvex/platform/printable_text.h"
#include "tools/carvexctl/ports_source.h"

namespace carvexctl {

namespace {

using carvex::PrintableText;

// The name of the tty behind com/COMn ("ttyUSB2"), as ModemManager lists a modem's ports.
std::optional<std::string> TtyName(const carvex::DeviceRoot& root, int com) {
    std::error_code error;
    const auto target =
        std::filesystem::read_symlink(root.ComDirectory() / carvex::ComName(com), error);
    if (error || target.filename().empty()) {
        return std::nullopt;
    }
    return target.filename().string();
}

// The modem that ModemManager holds for the card: the one whose device is the card's USB device,
// or else one that uses a port of the card (a root that names no USB device).
const carvex::ManagedModem* HeldModem(const std::vector<carvex::ManagedModem>& modems,
                                      const std::optional<std::string>& device,
                                      const std::vector<std::string>& ttys) {
    for (const carvex::ManagedModem& modem : modems) {
        const bool same_device = device && modem.device == *device;
        const bool uses_port = std::any_of(ttys.begin(), ttys.end(), [&](const std::string& tty) {
            return std::find(modem.ports.begin(), modem.ports.end(), tty) != modem.ports.end();
        });
        if (same_device || uses_port) {
            return &modem;
        }
    }
    return nullptr;
}

enum class Hold { kHeld, kInhibited, kNotHeld };

struct CardHold {
    int com = 0;
    std::optional<std::string> device;  // the USB device the root names for the card
    Hold hold = Hold::kNotHeld;
    std::string modem;  // ModemManager's object path, while it holds the card
    std::string users;  // who works the card while ModemManager let go of it
};

// What ModemManager holds of each card; nullopt where there is no ModemManager to ask.
struct Holds {
    carvex::ModemManagerMode mode{};
    bool reached = false;
    std::string why_not;
    std::vector<CardHold> cards;
};

std::optional<Holds> AskHolds(const carvex::DeviceRoot& root) {
    const carvex::ModemManagerView view = carvex::AskModemManager();
    if (!view.reached && view.why_not.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> problems;
    Holds holds{carvex::LoadCarvexConf(problems).modemmanager, view.reached, view.why_not, {}};
    if (!view.reached) {
        return holds;
    }
    for (const carvex::DiagPortEntry& card : carvex::ListDiagPorts(root)) {
        CardHold& hold = holds.cards.emplace_back();
        hold.com = card.com;
        hold.device = carvex::PublishedUsbDevice(root, card.com);
        std::vector<std::string> ttys;
        for (const std::optional<int> com :
             {std::optional<int>(card.com), carvex::FindModemPortFor(root, card.card_mark)}) {
            if (const auto tty = com ? TtyName(root, *com) : std::nullopt) {
                ttys.push_back(*tty);
            }
        }
        const std::string users = PlaceOf(root, card.com).users;
        if (const carvex::ManagedModem* modem = HeldModem(view.modems, hold.device, ttys)) {
            hold.hold = Hold::kHeld;
            hold.modem = modem->object_path;
        } else if (!users.empty() && holds.mode == carvex::ModemManagerMode::kBorrow) {
            // While a program of the card works it, ModemManager has no modem for the card: it
            // let go of it (an inhibition is not shown on the bus).
            hold.hold = Hold::kInhibited;
            hold.users = users;
        }
    }
    return holds;
}

}  // namespace

void PrintModemManager(std::ostream& out, const carvex::DeviceRoot& root) {
    const std::optional<Holds> holds = AskHolds(root);
    if (!holds) {
        return;
    }
    out << "\nModemManager (modemmanager = " << carvex::ModemManagerModeName(holds->mode) << "):";
    if (!holds->reached) {
        out << " " << PrintableText(holds->why_not) << "\n";
        return;
    }
    out << "\n";
    if (holds->cards.empty()) {
        out << "  (no card)\n";
    }
    for (const CardHold& card : holds->cards) {
        std::string state;
        switch (card.hold) {
            case Hold::kHeld:
                state = "held by ModemManager (" + PrintableText(card.modem) + ")";
                break;
            case Hold::kInhibited:
                state = "let go of by ModemManager (inhibited) while " + PrintableText(card.users) +
                        " works the card";
                break;
            case Hold::kNotHeld:
                state = "not held by ModemManager";
                break;
        }
        out << "  " << carvex::ComName(card.com) << " ("
            << (card.device ? PrintableText(*card.device) : "no USB device published")
            << "): " << state << "\n";
    }
}

cardwright::Json ModemManagerJson(const carvex::DeviceRoot& root) {
    using cardwright::Json;
    using cardwright::TextOrNull;
    const std::optional<Holds> holds = AskHolds(root);
    if (!holds) {
        return nullptr;
    }
    Json cards = Json::array();
    for (const CardHold& card : holds->cards) {
        const char* state = card.hold == Hold::kHeld        ? "held"
                            : card.hold == Hold::kInhibited ? "inhibited"
                                                            : "not_held";
        cards.push_back({{"port", carvex::ComName(card.com)},
                         {"usb_device", card.device ? Json(*card.device) : Json()},
                         {"state", state},
                         {"modem", TextOrNull(card.modem)},
                         {"users", TextOrNull(card.users)}});
    }
    return {{"mode", std::string(carvex::ModemManagerModeName(holds->mode))},
            {"reached", holds->reached},
            {"why_not", TextOrNull(holds->why_not)},
            {"cards", cards}};
}

}  // namespace carvexctl
