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

}  // namespace

void PrintModemManager(std::ostream& out, const carvex::DeviceRoot& root) {
    const carvex::ModemManagerView view = carvex::AskModemManager();
    if (!view.reached && view.why_not.empty()) {
        return;
    }
    std::vector<std::string> problems;
    const carvex::ModemManagerMode mode = carvex::LoadCarvexConf(problems).modemmanager;
    out << "\nModemManager (modemmanager = " << carvex::ModemManagerModeName(mode) << "):";
    if (!view.reached) {
        out << " " << PrintableText(view.why_not) << "\n";
        return;
    }
    out << "\n";
    const std::vector<carvex::DiagPortEntry> cards = carvex::ListDiagPorts(root);
    if (cards.empty()) {
        out << "  (no card)\n";
    }
    for (const carvex::DiagPortEntry& card : cards) {
        const std::optional<std::string> device = carvex::PublishedUsbDevice(root, card.com);
        std::vector<std::string> ttys;
        for (const std::optional<int> com :
             {std::optional<int>(card.com), carvex::FindModemPortFor(root, card.card_mark)}) {
            if (const auto tty = com ? TtyName(root, *com) : std::nullopt) {
                ttys.push_back(*tty);
            }
        }
        std::string state;
        const std::string users = PlaceOf(root, card.com).users;
        if (const carvex::ManagedModem* modem = HeldModem(view.modems, device, ttys)) {
            state = "held by ModemManager (" + PrintableText(modem->object_path) + ")";
        } else if (!users.empty() && mode == carvex::ModemManagerMode::kBorrow) {
            // While a program of the card works it, ModemManager has no modem for the card: it
            // let go of it (an inhibition is not shown on the bus).
            state = "let go of by ModemManager (inhibited) while " + users + " works the card";
        } else {
            state = "not held by ModemManager";
        }
        out << "  " << carvex::ComName(card.com) << " ("
            << (device ? PrintableText(*device) : "no USB device published") << "): " << state
            << "\n";
    }
}

}  // namespace carvexctl
