#pragma once

#include <string>

#include "tools/carvex-udev/card_table.h"
#include "tools/carvex-udev/sysfs_tty.h"

namespace carvexudev {

struct Classification {
    PortRole role = PortRole::kNone;
    // Where the role came from ("card table", "ModemManager tag ...", "interface name ..."), or
    // why the port has none.
    std::string why;
};

// Which port of a card a USB tty is: the card table's line for its interface first, then
// ModemManager's port tags (the PC UI port speaks AT until it is switched to DIAG, so
// ModemManager sees it as the secondary AT port), then the interface's own name.
Classification Classify(const CardTable& table, const UsbTty& tty);

}  // namespace carvexudev
