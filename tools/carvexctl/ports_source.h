#pragma once

#include <ostream>
#include <string>

#include "carvex/platform/device_root.h"

namespace carvexctl {

// What the ports report and the card session say that depends on where the devices come from:
// the device root on Linux, the setup API on Windows.

// Where the program looks for cards, for its help text.
std::string WhereCardsAreFound();

// The first lines of `carvexctl ports`: where the lists come from.
void PrintSource(std::ostream& out, const carvex::DeviceRoot& root);

// Where the port COM<com> leads (the tty; "(gone)" when it points to nothing, "not published"
// when the root links no tty for it), and who else has it open, where the system can tell (""
// when nobody).
struct PortPlace {
    std::string target;
    std::string users;
};
PortPlace PlaceOf(const carvex::DeviceRoot& root, int com);

// `ports --why`: the serial ports of this machine that the lists leave out, and why.
void PrintUnlisted(std::ostream& out, const carvex::DeviceRoot& root);

// What to do when no card is found, appended to that message.
std::string NoCardHint(const carvex::DeviceRoot& root);

}  // namespace carvexctl
