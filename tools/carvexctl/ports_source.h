#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "cardwork/json/json_document.h"
#include "carvex/platform/device_root.h"

namespace carvexctl {

// What the ports report and the card session say that depends on where the devices come from:
// the device root on Linux, the setup API on Windows.

// Where the program looks for cards, for its help text.
std::string WhereCardsAreFound();

// The first lines of `carvexctl ports`: where the lists come from; as JSON, the members
// "device_root" and "device_root_exists" (both null on Windows).
void PrintSource(std::ostream& out, const carvex::DeviceRoot& root);
void PutSourceJson(cardwright::Json& document, const carvex::DeviceRoot& root);

// Where the port COM<com> leads, and who else has it open, where the system can tell. The texts
// are as the system gives them: a printer makes them printable.
struct PortPlace {
    std::optional<std::string> tty;  // nullopt: the root links no tty for it
    bool gone = false;               // the tty it links to is not there
    std::string users;               // "minicom (pid 700)"; empty when nobody
};
PortPlace PlaceOf(const carvex::DeviceRoot& root, int com);

// `ports --why`: the serial ports of this machine that the lists leave out, and why; as JSON, an
// object of "sysfs" (where they were looked for; null on Windows), "ports" (each with "tty",
// "device", "usb_id", "role" and "why") and "problems" (lines of the card table or settings that
// were skipped).
void PrintUnlisted(std::ostream& out, const carvex::DeviceRoot& root);
cardwright::Json UnlistedJson(const carvex::DeviceRoot& root);

// What to do when no card is found, appended to that message.
std::string NoCardHint(const carvex::DeviceRoot& root);

}  // namespace carvexctl
