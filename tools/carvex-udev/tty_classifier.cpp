#include "tools/carvex-udev/tty_classifier.h"

namespace carvexudev {

Classification Classify(const CardTable& table, const UsbTty& tty) {
    if (const auto role = table.Find(tty.id)) {
        return {*role, *role == PortRole::kNone
                           ? "the card table names no role for " + Describe(tty.id)
                           : "card table"};
    }
    if (tty.mm_at_secondary) {
        return {PortRole::kPcUi, "ModemManager tag ID_MM_PORT_TYPE_AT_SECONDARY"};
    }
    if (tty.mm_at_primary) {
        return {PortRole::kModem, "ModemManager tag ID_MM_PORT_TYPE_AT_PRIMARY"};
    }
    // Case-sensitive, as the driver writes its names.
    if (tty.interface_name) {
        const std::string& name = *tty.interface_name;
        if (name.find("PC UI") != std::string::npos) {
            return {PortRole::kPcUi, "interface name \"" + name + "\""};
        }
        if (name.find("Modem") != std::string::npos) {
            return {PortRole::kModem, "interface name \"" + name + "\""};
        }
    }
    return {PortRole::kNone,
            "no card table line for " + Describe(tty.id) + ", no ModemManager tag, " +
                (tty.interface_name ? "interface name \"" + *tty.interface_name + "\" names no role"
                                    : "no interface name")};
}

}  // namespace carvexudev
