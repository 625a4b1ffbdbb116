#include "tools/carvex-udev/tty_classifier.h"

#include <algorithm>

namespace carvexudev {

namespace {

bool IsModemInterfaceName(std::string_view name) {
    return name.find("Modem") != std::string_view::npos;
}

std::string Quoted(const std::string& name) {
    return "interface name \"" + name + "\"";
}

}  // namespace

Classification Classify(const CardTable& table, const UsbTty& tty) {
    Classification result;
    result.listed = table.ListsDevice(tty.id.vendor, tty.id.product);
    if (const auto role = table.Find(tty.id)) {
        result.role = *role;
        result.why = *role == PortRole::kNone
                         ? "the card table names no role for " + Describe(tty.id)
                         : "card table";
        return result;
    }
    const bool device_names_pcui =
        std::any_of(tty.device_interface_names.begin(), tty.device_interface_names.end(),
                    [&](const std::string& name) { return table.NamesPcUi(name); });
    if (!result.listed && !device_names_pcui) {
        // Another maker's modem looks like ours to ModemManager's tags and to a "Modem" name;
        // taking it would keep it from ModemManager and send it the card's DIAG commands.
        std::string looks_like;
        if (tty.mm_at_secondary || tty.mm_at_primary) {
            looks_like = std::string("ModemManager tag ID_MM_PORT_TYPE_AT_") +
                         (tty.mm_at_secondary ? "SECONDARY" : "PRIMARY");
        } else if (tty.interface_name && IsModemInterfaceName(*tty.interface_name)) {
            looks_like = Quoted(*tty.interface_name);
        }
        result.why = looks_like.empty()
                         ? "not in the card table, and no interface of the device is named as a "
                           "PC UI interface"
                         : "another maker's modem (" + looks_like + "), not in the card table";
        return result;
    }
    if (tty.mm_at_secondary) {
        result.role = PortRole::kPcUi;
        result.why = "ModemManager tag ID_MM_PORT_TYPE_AT_SECONDARY";
        return result;
    }
    if (tty.mm_at_primary) {
        result.role = PortRole::kModem;
        result.why = "ModemManager tag ID_MM_PORT_TYPE_AT_PRIMARY";
        return result;
    }
    if (tty.interface_name && table.NamesPcUi(*tty.interface_name)) {
        result.role = PortRole::kPcUi;
        result.why = Quoted(*tty.interface_name);
        return result;
    }
    if (tty.interface_name && IsModemInterfaceName(*tty.interface_name)) {
        result.role = PortRole::kModem;
        result.why = Quoted(*tty.interface_name);
        return result;
    }
    result.why =
        "no card table line for " + Describe(tty.id) + ", no ModemManager tag, " +
        (tty.interface_name ? Quoted(*tty.interface_name) + " names no role" : "no interface name");
    return result;
}

}  // namespace carvexudev
