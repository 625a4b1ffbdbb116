#pragma once

#include <ostream>
#include <vector>

#include "carvex/platform/device_root.h"

namespace carvexctl {

// `carvexctl cards`: every card of the device root (or those of the ports named), each asked on
// a connection of its own, all at once: the COM numbers of its PC UI interface and its modem,
// its IMEI, model and firmware, or why it cannot be used (in the words of `ports --why`); with
// `json`, one JSON array of them. True when there was a card and every card answered.
bool PrintCards(std::ostream& out, const carvex::DeviceRoot& root, const std::vector<int>& named,
                bool json);

}  // namespace carvexctl
