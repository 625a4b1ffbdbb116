#pragma once

#include <string>
#include <string_view>

#include "tools/carvex-udev/card_table.h"
#include "tools/carvex-udev/sysfs_tty.h"

namespace carvexudev {

struct Classification {
    PortRole role = PortRole::kNone;
    // Where the role came from ("card table", "ModemManager tag ...", "interface name ..."), or
    // why the port has none.
    std::string why;
    // The card table lists the device: only then is ModemManager told to leave its ports alone.
    bool listed = false;
};

// Which port of a card a USB tty is. The card table's line for its interface first. A device
// the table does not list at all is ours only when one of its interfaces names itself as the PC
// UI interface; a device that is ours has its other ports told apart by ModemManager's port tags
// (the PC UI port speaks AT until it is switched to DIAG, so ModemManager sees it as the
// secondary AT port), then by the interface's own name. Every other device is left alone.
Classification Classify(const CardTable& table, const UsbTty& tty);

}  // namespace carvexudev
