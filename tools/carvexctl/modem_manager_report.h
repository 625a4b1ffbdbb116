#pragma once

#include <ostream>

#include "carvex/platform/device_root.h"

namespace carvexctl {

// The end of `carvexctl ports`: for each card of the root (its PC UI interface's COM port),
// whether ModemManager holds it, has let go of it while a program works the card, or does not
// hold it; or why ModemManager could not be asked. Nothing where there is no ModemManager
// (Windows).
void PrintModemManager(std::ostream& out, const carvex::DeviceRoot& root);

}  // namespace carvexctl
