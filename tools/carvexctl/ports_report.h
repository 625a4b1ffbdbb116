#pragma once

#include <ostream>

#include "carvex/platform/device_root.h"

namespace carvexctl {

// `carvexctl ports`: each device of the Ports and Modem classes as the library's discovery sees
// it (index, COM number, tty, role, friendly name), which of them the library takes for the card
// and for the model query, which ones another program has open, and what ModemManager holds of
// each card. With `why`, also the USB
// ttys of this machine that are not published in the root, each with the reason, and the card
// table's unreadable lines. With `json`, one JSON object of the same: "device_root",
// "device_root_exists", "ports" and "modems" (each row with "index", "com", "tty", "gone", "busy",
// "role" and "name"), "pc_ui_port", "modem_port", "modem_manager" and, with `why`, "unpublished".
void PrintPorts(std::ostream& out, const carvex::DeviceRoot& root, bool why, bool json);

}  // namespace carvexctl
