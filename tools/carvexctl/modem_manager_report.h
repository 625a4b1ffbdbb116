#pragma once

#include <ostream>

#include "cardwork/json/json_document.h"
#include "carvex/platform/device_root.h"

namespace carvexctl {

// The end of `carvexctl ports`: for each card of the root (its PC UI interface's COM port),
// whether ModemManager holds it, has let go of it while a program works the card, or does not
// hold it; or why ModemManager could not be asked. Nothing where there is no ModemManager
// (Windows).
void PrintModemManager(std::ostream& out, const carvex::DeviceRoot& root);
// The same as JSON: null where there is no ModemManager, else an object of "mode", "reached",
// "why_not" and "cards", each card with "port", "usb_device", "state" ("held", "inhibited" or
// "not_held"), "modem" (its object path while held) and "users" (who works it while inhibited).
cardwright::Json ModemManagerJson(const carvex::DeviceRoot& root);

}  // namespace carvexctl
